// The programs' trace: one line per failure they handle and per rollback
// step. Users never see it; a debugger or debug-output viewer does (under
// Wine 8: WINEDEBUG=warn+seh, where OutputDebugString reports). There is no log file.
#pragma once

#include "common/core/failure.hpp"

#include <string_view>

namespace common {

// Lines go to OutputDebugStringW on Windows, nowhere elsewhere.
void trace(std::wstring_view line);
void trace(const Failure& failure);

// The result of steps that all run even after one failed: the first
// failure is the result, and each later one is traced as it comes.
class FirstFailure {
public:
    // True when the step succeeded.
    bool add(Result<> step);
    // True while no step failed.
    explicit operator bool() const { return static_cast<bool>(first_); }
    Result<> result() && { return std::move(first_); }

private:
    Result<> first_;
};

// For a catch (...) block: traces what was caught, naming where.
void traceCurrentException(std::wstring_view where);

}  // namespace common
