// The install step on a large payload: Update.exe from the click on "&Install"
// to the success page, beside the same replacement by Wine's xcopy. The script
// around it (bench/run.sh) lays out the payload and times the native copy.
//   bench_install.exe <media folder> <installation folder>
#include <cstdio>
#include <optional>

#include "bench_clock.hpp"

namespace {

using namespace ui_harness;

const wchar_t kRecordKey[] = L"SOFTWARE\\KVB\\Orvexa";

// An installation of the previous version: an Events folder the pack
// replaces and a database it overwrites.
void resetInstallation(const std::wstring& install) {
    removeTree(install);
    for (int i = 0; i < 20; ++i)
        writeFile(joinPath(install, L"Events\\Old\\old" + std::to_wstring(i) + L".evt"),
                  std::string(4096, 'o'));
    writeFile(joinPath(install, L"Database\\OrvDb.mdb"), "installed database");
}

bool pageShows(const Window& wizard, const wchar_t* page) {
    return tryFindControl(wizard, {.text = page, .className = L"UpdateFrame", .visibleOnly = true})
        .has_value();
}

std::optional<double> timeUpdate(const std::wstring& media, const std::wstring& install) {
    resetInstallation(install);
    const auto key = RegKey::create(HKEY_LOCAL_MACHINE, kRecordKey);
    key.setString(L"Version", L"1.8.2");
    key.setString(L"Installpath", install);

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

// Events\Events copied beside the old folder, swapped in by renaming, the old
// one removed, and the database copied over: what the wizard does, by the
// prefix's own xcopy and cmd.
double timeXcopy(const std::wstring& media, const std::wstring& install) {
    resetInstallation(install);
    const auto events = joinPath(install, L"Events");
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

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_install.exe MEDIA INSTALLATION\n");
        return 2;
    }
    const std::wstring media = windowsPathFromUnix(argv[1]);
    const std::wstring install = windowsPathFromUnix(argv[2]);
    try {
        const auto update = timeUpdate(media, install);
        if (!update) {
            std::printf("update: the wizard showed its installation-failed page\n");
            return 1;
        }
        std::printf("update %.3f\n", *update);
        std::printf("xcopy %.3f\n", timeXcopy(media, install));
        RegKey::deleteTree(HKEY_LOCAL_MACHINE, kRecordKey);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_install: %s\n", error.what());
        return 1;
    }
    return 0;
}
