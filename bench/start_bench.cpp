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
    const common::win32::unique_handle process(info.hProcess);
    const common::win32::unique_handle thread(info.hThread);
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
    constexpr int kRuns = 7;
    try {
        std::vector<std::pair<std::wstring, double>> medians;
        for (int i = 1; i < argc; ++i) {
            const std::wstring argument = argv[i];
            const auto equals = argument.find(L'=');
            const std::wstring name = argument.substr(0, equals);
            const std::wstring program = windowsPathFromUnix(argument.substr(equals + 1));
            timeToFirstWindow(program);  // warms the file cache and the prefix
            std::vector<double> runs;
            for (int run = 0; run < kRuns; ++run) runs.push_back(timeToFirstWindow(program));
            std::printf("%-12s median %.3f s  (runs:", bench::utf8(name).c_str(),
                        bench::median(runs));
            for (double run : runs) std::printf(" %.3f", run);
            std::printf(")\n");
            medians.emplace_back(name, bench::median(runs));
        }
        for (std::size_t i = 1; i < medians.size(); ++i)
            std::printf("ratio %s/%s %.2fx\n", bench::utf8(medians[i].first).c_str(),
                        bench::utf8(medians[0].first).c_str(),
                        medians[i].second / medians[0].second);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_start: %s\n", error.what());
        return 1;
    }
    return 0;
}
