#pragma once

#include <windows.h>

#include <string>
#include <utility>

namespace update {

// For the calls that fill a buffer with a path and, when it is too short,
// answer the length they need (GetFullPathNameW, GetLongPathNameW,
// GetFinalPathNameByHandleW): the text, or an empty one and the call's
// error when it answered 0.
template <typename Fill>
std::pair<std::wstring, DWORD> filledText(Fill fill) {
    std::wstring text(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = fill(text.data(), static_cast<DWORD>(text.size()));
        if (length == 0) {
            const DWORD error = GetLastError();
            return {std::wstring(), error};
        }
        const bool fits = length < text.size();  // else the length wanted, with the NUL
        text.resize(length);
        if (fits) return {std::move(text), 0};
    }
}

}  // namespace update
