// What the benchmarks share: a stopwatch, starting a program of the prefix and
// waiting for it, and printing figures. They print; they never pass or fail.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/win32/unique_any.hpp"
#include "ui_harness.hpp"

namespace bench {

// Seconds on the performance counter.
inline double now() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const auto n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Runs a command line of the prefix (xcopy, cmd) without a window and waits
// for it; returns its exit code.
inline DWORD run(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &info))
        throw ui_harness::HarnessError(L"cannot start " + commandLine);
    const common::win32::UniqueHandle process(info.hProcess);
    const common::win32::UniqueHandle thread(info.hThread);
    if (WaitForSingleObject(process.get(), 600000) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 1);
        throw ui_harness::HarnessError(L"timed out: " + commandLine);
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    return code;
}

inline std::string utf8(const std::wstring& text) { return ui_harness::narrow(text); }

}  // namespace bench
