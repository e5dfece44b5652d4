#include <windows.h>

#include <commctrl.h>

#include "frm_welcome.hpp"
#include "media_folder.hpp"

namespace {

// DLLs are then looked up in the system folder only, never beside the program
// on the media or in the current folder.
void restrictDllSearchToSystem() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel) return;
    const auto setDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDirectories) setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// Loaded only after the search is restricted; the manifest picks version 6.
void initCommonControls() {
    using InitCommonControlsExFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    HMODULE comctl = LoadLibraryA("comctl32.dll");
    if (!comctl) return;
    const auto init = reinterpret_cast<InitCommonControlsExFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(comctl, "InitCommonControlsEx")));
    const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    if (init) init(&classes);
    // Stays loaded for the process: the button and static classes live in it.
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    restrictDllSearchToSystem();
    initCommonControls();
    update::FrmWelcome wizard(instance, update::runningProgramFolder());
    if (!wizard.open()) return 1;
    return update::forms::runMessageLoop();
}
