// Where the programs' code meets user32's frames: window and dialog
// procedures, hooks and enumeration callbacks. No exception may cross one.
// 32-bit MinGW unwinds with DWARF tables, which end at the first system frame,
// so an exception leaving a procedure would end the program there.
#pragma once

#include "common/core/trace.hpp"

#include <utility>

namespace common::win32 {

// Runs a procedure's work; an exception stops here, is traced under `where`,
// and the message gets `failed`, the answer that fails its action.
template <typename Result, typename Work>
Result atMessageBoundary(const wchar_t* where, Result failed, Work&& work) noexcept {
    try {
        return std::forward<Work>(work)();
    } catch (...) {
        traceCurrentException(where);
        return failed;
    }
}

}  // namespace common::win32
