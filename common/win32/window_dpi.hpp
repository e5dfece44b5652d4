// The DPI a window is shown at. Inline: it calls user32 and gdi32, which the
// common_win32 library itself does not import.
#pragma once

#include <windows.h>

#include "common/win32/unique_any.hpp"

namespace common::win32 {

inline constexpr int defaultDpi = 96;

// A user32 function the running system may not have (the DPI calls of
// Windows 10 1607 and later), looked up at run time; null when absent.
template <typename Function>
Function user32Function(const char* name) {
    const HMODULE user32 = GetModuleHandleA("user32.dll");
    return user32 ? reinterpret_cast<Function>(
                        reinterpret_cast<void (*)()>(GetProcAddress(user32, name)))
                  : nullptr;
}

// The window's own DPI where the system scales per monitor, else the
// screen's; a null window asks for the screen's.
inline int windowDpi(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = user32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    if (window && getDpiForWindow)
        if (const UINT dpi = getDpiForWindow(window)) return static_cast<int>(dpi);
    const auto screen = getWindowDc(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen.get().dc, LOGPIXELSX) : 0;
    return dpi > 0 ? dpi : defaultDpi;
}

}  // namespace common::win32
