#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include <windows.h>

#include "win32/ui/form.hpp"
#include "win32/ui/frm_exit.hpp"
#include "win32/ui/frm_welcome.hpp"
#include "win32/ui/media_folder.hpp"

namespace {

TEST(MediaFolder, KeepsTheBackslashOnlyAtADriveRoot) {
    EXPECT_EQ(update::folderOfProgram("C:\\Update.exe"), "C:\\");
    EXPECT_EQ(update::folderOfProgram("D:\\SP1\\Disk 1\\Update.exe"), "D:\\SP1\\Disk 1");
    EXPECT_EQ(update::folderOfProgram("\\\\server\\share\\Update.exe"), "\\\\server\\share");
    EXPECT_EQ(update::folderOfProgram("Update.exe"), "");
}

HWND button(HWND form, const char* caption) {
    return FindWindowExA(form, nullptr, "Button", caption);
}

HWND frameOf(HWND form, const char* name) {
    return FindWindowExA(form, nullptr, "UpdateFrame", name);
}

void sendKey(HWND target, UINT message, WPARAM key) {
    MSG msg{};
    msg.hwnd = target;
    msg.message = message;
    msg.wParam = key;
    msg.lParam = message == WM_SYSCHAR ? (1 << 29) : 0;  // Alt held
    update::forms::dispatch(msg);
}

// The test prefix holds no product record, so Next leads to the not-found page.
class WelcomeWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(wizard.open());
        form = wizard.hwnd();
    }
    void TearDown() override {
        MSG quit;  // posted by a closed wizard; the next test's loops must not see it
        while (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }

    update::frmWelcome wizard{GetModuleHandleA(nullptr), "C:\\media"};
    HWND form = nullptr;
};

// Tab moves between Next and Cancel only, Esc clicks nothing, Enter clicks the
// focused button, and a click that reaches a button after it was disabled does nothing.
TEST_F(WelcomeWindow, KeysAndClicksAsInADialog) {
    HWND next = button(form, "&Next");
    HWND cancel = button(form, "&Cancel");
    EXPECT_EQ(GetFocus(), next);
    sendKey(next, WM_KEYDOWN, VK_TAB);
    EXPECT_EQ(GetFocus(), cancel);
    wizard.setNextEnabled(false);
    SendMessageA(form, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(next), BN_CLICKED),
                 reinterpret_cast<LPARAM>(next));
    wizard.setNextEnabled(true);
    sendKey(cancel, WM_KEYDOWN, VK_TAB);
    EXPECT_EQ(GetFocus(), next);
    sendKey(next, WM_KEYDOWN, VK_ESCAPE);
    EXPECT_TRUE(IsWindowVisible(frameOf(form, "fraWelcome")));

    sendKey(next, WM_KEYDOWN, VK_RETURN);
    EXPECT_TRUE(IsWindowVisible(frameOf(form, "fraNotInstalled")));
    EXPECT_FALSE(IsWindowVisible(frameOf(form, "fraWelcome")));
    EXPECT_FALSE(IsWindowEnabled(next));
    // The disabled button has handed the focus on, so the keyboard still works.
    EXPECT_EQ(GetFocus(), cancel);
}

// Clicks, keys and requests to close from the title bar or the taskbar.
TEST_F(WelcomeWindow, InputQueuedWhileBusyIsDroppedWhenTheWorkEnds) {
    const std::tuple<HWND, UINT, WPARAM> queued[] = {
        {button(form, "&Cancel"), WM_KEYDOWN, VK_SPACE},
        {button(form, "&Cancel"), WM_LBUTTONDOWN, 0},
        {form, WM_NCLBUTTONDOWN, HTCLOSE},
        {form, WM_SYSCOMMAND, SC_CLOSE},
        {form, WM_CLOSE, 0}};
    wizard.setBusy(true);
    for (const auto& [to, message, wParam] : queued) PostMessageA(to, message, wParam, 0);
    wizard.setBusy(false);
    MSG msg;
    for (const auto& [to, message, wParam] : queued)
        EXPECT_FALSE(PeekMessageA(&msg, nullptr, message, message, PM_NOREMOVE)) << message;
}

// Drives the modal confirmation from a timer, since showModal only returns
// when it is over. A second timer ends a confirmation the keys did not end.
struct ExitScript {
    static inline WPARAM key = 0;
    static inline bool ownerWasDisabled = false;
    static inline bool escapeKeptItOpen = false;

    static void CALLBACK press(HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        HWND dialog = FindWindowA("UpdateForm", "Exit");
        if (!dialog) return;
        ownerWasDisabled = !IsWindowEnabled(GetWindow(dialog, GW_OWNER));
        sendKey(GetFocus(), WM_KEYDOWN, VK_ESCAPE);
        escapeKeptItOpen = IsWindowVisible(dialog) != FALSE;
        PostMessageA(GetFocus(), WM_SYSCHAR, key, 1 << 29);
    }
    static void CALLBACK giveUp(HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        if (HWND dialog = FindWindowA("UpdateForm", "Exit")) PostMessageA(dialog, WM_CLOSE, 0, 0);
    }
};

TEST_F(WelcomeWindow, ConfirmationDisablesItsOwnerAndResumesOnAltROrEndsOnAltE) {
    for (const auto& [key, ends] : {std::pair{'r', false}, std::pair{'e', true}}) {
        bool ended = false;
        ExitScript::key = key;
        ExitScript::ownerWasDisabled = ExitScript::escapeKeptItOpen = false;
        update::frmExit confirmation(GetModuleHandleA(nullptr), [&ended] { ended = true; });
        const UINT_PTR pressTimer = SetTimer(nullptr, 0, 200, &ExitScript::press);
        const UINT_PTR giveUpTimer = SetTimer(nullptr, 0, 5000, &ExitScript::giveUp);
        confirmation.showModal(form);
        KillTimer(nullptr, pressTimer);
        KillTimer(nullptr, giveUpTimer);
        EXPECT_EQ(ended, ends) << key;
        EXPECT_TRUE(ExitScript::ownerWasDisabled);
        EXPECT_TRUE(ExitScript::escapeKeptItOpen);
        EXPECT_TRUE(IsWindowEnabled(form));
        EXPECT_EQ(FindWindowA("UpdateForm", "Exit"), nullptr);
    }
}

}  // namespace
