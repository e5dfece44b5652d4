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

// For a catch (...) block: traces what was caught, naming where.
void traceCurrentException(std::wstring_view where);

}  // namespace common
