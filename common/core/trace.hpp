// The programs' trace: one line per failure they handle and per rollback
// step, and Update's steps. No window shows it; a debugger or debug-output
// viewer does (under Wine 8: WINEDEBUG=warn+seh, where OutputDebugString
// reports), and Update's log file when a run asks for one.
#pragma once

#include "common/core/failure.hpp"

#include <string_view>

namespace common {

// Lines go to OutputDebugStringW on Windows, nowhere elsewhere.
void trace(std::wstring_view line);
void trace(const Failure& failure);

// Where each line goes as well, once it is traced: the log of a run that
// asked for one. Null, the start, sends lines to the debug output only.
using TraceSink = void (*)(std::wstring_view line);
void setTraceSink(TraceSink sink);

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
