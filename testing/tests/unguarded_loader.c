// Loads "version.dll" with the default search order (program folder first),
// as a program without a restricted DLL search would.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    (void)instance, (void)previous, (void)commandLine, (void)show;
    HMODULE module = LoadLibraryW(L"version.dll");
    if (!module) return 1;
    FreeLibrary(module);
    return 0;
}
