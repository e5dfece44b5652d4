#include <windows.h>

#include <commctrl.h>

#include "win32/ui/frm_welcome.hpp"
#include "win32/ui/media_folder.hpp"

#include "common/core/trace.hpp"
#include "common/win32/dll_search.hpp"

namespace {

// Loaded only after the search is restricted; the manifest picks version 6.
void initCommonControls() {
    using InitCommonControlsExFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    // Stays loaded for the process: the button and static classes live in it.
    HMODULE comctl = LoadLibraryA("comctl32.dll");
    if (!comctl) {
        // The system's own classes still serve, in their older look.
        common::trace(common::win32Failure(L"LoadLibraryA(comctl32.dll)", GetLastError()));
        return;
    }
    const auto init = reinterpret_cast<InitCommonControlsExFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(comctl, "InitCommonControlsEx")));
    const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    if (init) init(&classes);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // First, before anything loads a DLL.
    common::win32::restrictDllSearchToSystem32();
    initCommonControls();
    update::FrmWelcome wizard(instance, update::runningProgramFolder());
    if (!wizard.open()) return 1;
    return update::forms::runMessageLoop();
}
