// The install step on a large payload: Update.exe from the click on "&Install"
// to the success page, "Update.exe /quiet" from its start to its end, or the
// same replacement by Wine's xcopy. The script around it (bench/run.sh) lays
// out the payload, times the native copy and makes the disk clean before
// each measurement.
//   bench_install.exe update|quiet|xcopy <media folder> <installation folder>
// It prints "ready" when everything but the measured step is done and waits
// for a line on its input; then it prints "<mode> <seconds>" and waits for
// another line before it ends, so that the script can make the result durable
// right after the step, before Wine's own teardown writes to the disk.
#include <cstdio>
#include <optional>

#include "bench_clock.hpp"

namespace {

using namespace ui_harness;

const wchar_t recordKey[] = L"SOFTWARE\\KVB\\Orvexa";

// An installation of the previous version: an Events folder the pack
// replaces and a database it overwrites.
void resetInstallation(const std::wstring& install) {
    removeTree(install);
    for (int i = 0; i < 20; ++i)
        writeFile(joinPath(install, L"Events\\Old\\old" + std::to_wstring(i) + L".evt"),
                  std::string(4096, 'o'));
    writeFile(joinPath(install, L"Database\\OrvDb.mdb"), "installed database");
}

// Says what it is waiting for and waits for the script's line.
void waitForScript(const char* announcement) {
    std::printf("%s\n", announcement);
    std::fflush(stdout);
    char line[64];
    if (!std::fgets(line, sizeof line, stdin)) throw HarnessError("the script went away");
}

bool pageShows(const Window& wizard, const wchar_t* page) {
    return tryFindControl(wizard, {.text = page, .className = L"UpdateFrame", .visibleOnly = true})
        .has_value();
}

// An installation of the previous version, recorded as the product's.
void resetRecordedInstallation(const std::wstring& install) {
    resetInstallation(install);
    const auto key = RegKey::create(HKEY_LOCAL_MACHINE, recordKey);
    key.setString(L"Version", L"1.8.2");
    key.setString(L"Installpath", install);
}

std::optional<double> timeUpdate(const std::wstring& media, const std::wstring& install) {
    resetRecordedInstallation(install);
    const auto update = Process::start(joinPath(media, L"Update.exe"));
    const auto wizard = update.waitForWindow({.title = L"Welcome", .className = L"UpdateForm"});
    const auto next = findControl(wizard, {.text = L"&Next", .className = L"Button"});
    next.click();
    if (!waitUntil([&] { return pageShows(wizard, L"fraInstall"); }))
        throw HarnessError("the wizard did not reach its install page");

    // The wizard does not answer messages while it installs, so the end pages
    // are found beforehand and watched through their visibility alone.
    const auto final = findControl(wizard, {.text = L"fraFinal", .className = L"UpdateFrame"});
    const auto failed =
        findControl(wizard, {.text = L"fraInsttalationFailed", .className = L"UpdateFrame"});
    waitForScript("ready");
    const double start = bench::now();
    next.click();
    for (;;) {
        if (final.visible()) break;
        if (failed.visible()) return std::nullopt;
        if (bench::now() - start > 600) throw HarnessError("no end page after 10 minutes");
        Sleep(2);
    }
    const double seconds = bench::now() - start;
    update.kill();
    return seconds;
}

// The whole process: what a deployment tool waits for.
std::optional<double> timeQuiet(const std::wstring& media, const std::wstring& install) {
    resetRecordedInstallation(install);
    waitForScript("ready");
    const double start = bench::now();
    const auto update = Process::start(joinPath(media, L"Update.exe"), {.arguments = {L"/quiet"}});
    const auto code = update.waitForExit(Millis(600'000));
    if (!code) throw HarnessError("Update.exe /quiet did not end in 10 minutes");
    const double seconds = bench::now() - start;
    if (*code != 0) return std::nullopt;
    return seconds;
}

// Events\Events copied beside the old folder, swapped in by renaming, the old
// one removed, and the database copied over: what the wizard does, by the
// prefix's own xcopy and cmd.
double timeXcopy(const std::wstring& media, const std::wstring& install) {
    resetInstallation(install);
    const auto events = joinPath(install, L"Events");
    waitForScript("ready");
    const double start = bench::now();
    bench::run(L"xcopy.exe \"" + joinPath(media, L"Events\\Events") + L"\" \"" + events +
               L".new\\\" /E /I /Q /Y");
    if (!MoveFileW(events.c_str(), (events + L".old").c_str()) ||
        !MoveFileW((events + L".new").c_str(), events.c_str()))
        throw HarnessError("MoveFileW failed");
    bench::run(L"cmd.exe /c rd /s /q \"" + events + L".old\"");
    bench::run(L"xcopy.exe \"" + joinPath(media, L"Database\\OrvDb.mdb") + L"\" \"" +
               joinPath(install, L"Database") + L"\\\" /Q /Y");
    return bench::now() - start;
}

std::optional<double> measure(const std::wstring& mode, const std::wstring& media,
                              const std::wstring& install) {
    if (mode == L"update") return timeUpdate(media, install);
    if (mode == L"quiet") return timeQuiet(media, install);
    if (mode == L"xcopy") return timeXcopy(media, install);
    throw HarnessError(L"unknown mode " + mode);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_install.exe update|quiet|xcopy MEDIA INSTALLATION\n");
        return 2;
    }
    const std::wstring mode = argv[1];
    try {
        const auto seconds =
            measure(mode, windowsPathFromUnix(argv[2]), windowsPathFromUnix(argv[3]));
        if (!seconds) {
            std::printf("%s: the install failed\n", bench::utf8(mode).c_str());
            return 1;
        }
        std::printf("%s %.3f\n", bench::utf8(mode).c_str(), *seconds);
        waitForScript("measured");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_install: %s\n", error.what());
        return 1;
    }
    return 0;
}
