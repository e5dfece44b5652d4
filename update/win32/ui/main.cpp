#include <windows.h>

#include <commctrl.h>

#include "common/core/trace.hpp"
#include "common/win32/com.hpp"
#include "common/win32/dll_search.hpp"
#include "common/win32/failed_call.hpp"
#include "win32/ui/frm_welcome.hpp"
#include "win32/ui/media_folder.hpp"
#include "win32/ui/message_loop.hpp"

namespace {

// Loaded only after the search is restricted; the manifest picks version 6.
void initCommonControls() {
    using InitCommonControlsExFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    // Stays loaded for the process: the button and static classes live in it.
    HMODULE comctl = LoadLibraryA("comctl32.dll");
    if (!comctl) {
        // The system's own classes still serve, in their older look.
        common::trace(FAILED_CALL(LoadLibraryA));
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
    // The window thread stays in one apartment for its life: the pictures are
    // decoded by COM's imaging component. Without COM they stay empty.
    const auto com = common::win32::initializeCom();
    if (!com) common::trace(com.failure());
    update::FrmWelcome wizard(instance, update::runningProgramFolder());
    if (const auto opened = wizard.open(); !opened) {
        common::trace(opened.failure());
        return 1;
    }
    return update::forms::runMessageLoop();
}
