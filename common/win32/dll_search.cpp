#include "common/win32/dll_search.hpp"

#include "common/core/trace.hpp"

#include <windows.h>

namespace common::win32 {

void restrictDllSearchToSystem32() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    const auto setDirectories =
        kernel32 ? reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void (*)()>(
                       GetProcAddress(kernel32, "SetDefaultDllDirectories")))
                 : nullptr;
    if (!setDirectories) {
        trace(win32Failure(L"GetProcAddress(SetDefaultDllDirectories)", GetLastError()));
        return;
    }
    if (!setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        trace(win32Failure(L"SetDefaultDllDirectories", GetLastError()));
    }
}

}  // namespace common::win32
