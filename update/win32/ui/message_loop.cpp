#include "win32/ui/message_loop.hpp"

#include "win32/ui/form.hpp"

namespace update::forms {

int runMessageLoop() {
    MSG msg{};
    BOOL got;
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1) return 1;
        dispatch(msg);
    }
    return static_cast<int>(msg.wParam);
}

void runModal(HWND dialog, HWND owner, const bool& done) {
    if (owner) EnableWindow(owner, FALSE);
    MSG msg{};
    while (!done && IsWindow(dialog)) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == -1) break;
        dispatch(msg);
    }
    // Enabled again before the dialog goes, so the activation returns to the owner.
    if (owner) {
        EnableWindow(owner, TRUE);
        SetActiveWindow(owner);
    }
}

}  // namespace update::forms
