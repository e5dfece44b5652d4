// Leaves "<its own path>.loaded" when a process loads it.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t marker[MAX_PATH + 8];
        const DWORD length = GetModuleFileNameW(instance, marker, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            lstrcatW(marker, L".loaded");
            HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, NULL);
            if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        }
    }
    return TRUE;
}

// The functions callers of version.dll look for; they answer "no version data".
__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR file, LPDWORD handle) {
    (void)file;
    if (handle) *handle = 0;
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return 0;
}

__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR file, LPDWORD handle) {
    (void)file;
    if (handle) *handle = 0;
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return 0;
}

__declspec(dllexport) BOOL WINAPI
    GetFileVersionInfoA(LPCSTR file, DWORD handle, DWORD size, LPVOID data) {
    (void)file, (void)handle, (void)size, (void)data;
    return FALSE;
}

__declspec(dllexport) BOOL WINAPI
    GetFileVersionInfoW(LPCWSTR file, DWORD handle, DWORD size, LPVOID data) {
    (void)file, (void)handle, (void)size, (void)data;
    return FALSE;
}

__declspec(dllexport) BOOL WINAPI
    VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length) {
    (void)block, (void)subBlock, (void)buffer, (void)length;
    return FALSE;
}

__declspec(dllexport) BOOL WINAPI
    VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length) {
    (void)block, (void)subBlock, (void)buffer, (void)length;
    return FALSE;
}
