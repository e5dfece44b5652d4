// Time from process start to the first visible window, for each program and
// for a bare Win32 window program.
//   bench_start.exe <name>=<program.exe> ...
#include <cstdio>

#include "bench_clock.hpp"

namespace {

using namespace ui_harness;

// Starts the program and returns the seconds until it shows a window.
double timeToFirstWindow(const std::wstring& program) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring commandLine = L"\"" + program + L"\"";
    const double start = bench::now();
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info))
        throw HarnessError(L"cannot start " + program);
    const common::win32::UniqueHandle process(info.hProcess);
    const common::win32::UniqueHandle thread(info.hThread);
    while (topLevelWindows(info.dwProcessId).empty()) {
        if (bench::now() - start > 60) throw HarnessError(L"no window from " + program);
        Sleep(1);
    }
    const double seconds = bench::now() - start;
    TerminateProcess(process.get(), 0);
    WaitForSingleObject(process.get(), 10000);
    return seconds;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    constexpr int rounds = 9;
    try {
        std::vector<std::wstring> names, programs;
        for (int i = 1; i < argc; ++i) {
            const std::wstring argument = argv[i];
            const auto equals = argument.find(L'=');
            names.push_back(argument.substr(0, equals));
            programs.push_back(windowsPathFromUnix(argument.substr(equals + 1)));
            timeToFirstWindow(programs.back());  // warms the file cache and the prefix
        }
        // Round by round, so that whatever else the machine does falls on all alike.
        std::vector<std::vector<double>> runs(programs.size());
        for (int run = 0; run < rounds; ++run)
            for (std::size_t i = 0; i < programs.size(); ++i)
                runs[i].push_back(timeToFirstWindow(programs[i]));
        for (std::size_t i = 0; i < programs.size(); ++i) {
            std::printf("%-12s median %.3f s  (runs:", bench::utf8(names[i]).c_str(),
                        bench::median(runs[i]));
            for (double seconds : runs[i]) std::printf(" %.3f", seconds);
            std::printf(")\n");
        }
        for (std::size_t i = 1; i < programs.size(); ++i)
            std::printf("ratio %s/%s %.2fx\n", bench::utf8(names[i]).c_str(),
                        bench::utf8(names[0]).c_str(),
                        bench::median(runs[i]) / bench::median(runs[0]));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_start: %s\n", error.what());
        return 1;
    }
    return 0;
}
