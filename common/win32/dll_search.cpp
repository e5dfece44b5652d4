#include "common/win32/dll_search.hpp"

#include "common/core/trace.hpp"
#include "common/win32/failed_call.hpp"

#include <windows.h>

namespace common::win32 {

void restrictDllSearchToSystem32() {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    const auto setDirectories =
        kernel32 ? reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void (*)()>(
                       GetProcAddress(kernel32, "SetDefaultDllDirectories")))
                 : nullptr;
    // Without it the program runs on as before: the search stays the system's default.
    if (!setDirectories) {
        trace(FAILED_CALL(GetProcAddress));
        return;
    }
    if (!setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) trace(FAILED_CALL(SetDefaultDllDirectories));
}

}  // namespace common::win32
