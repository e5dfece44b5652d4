// Loaded into a program under test through a WH_CALLWNDPROC hook (see
// measureTexts in ui_harness_display.cpp). On the program's own thread, and in
// each control's own font, it measures what the text of every label and
// button below the window the message was sent to needs, and writes that to
// %TEMP%\ui-harness-texts-<test process id>.txt for the test to read.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/win32/unique_any.hpp"

namespace {

using common::win32::getWindowDc;
using common::win32::selectObject;

bool isTextControl(HWND control) {
    wchar_t name[16] = {};
    GetClassNameW(control, name, 16);
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(control, GWL_STYLE));
    if (lstrcmpiW(name, L"Button") == 0) return true;
    if (lstrcmpiW(name, L"Static") != 0) return false;
    const DWORD type = style & SS_TYPEMASK;
    return type != SS_ICON && type != SS_BITMAP && type != SS_ENHMETAFILE;
}

BOOL CALLBACK collect(HWND child, LPARAM found) {
    if (isTextControl(child)) reinterpret_cast<std::vector<HWND>*>(found)->push_back(child);
    return TRUE;
}

// One line per control: handle, the size its text needs wrapped within the
// client width, and the size on a single line.
std::string measure(HWND control) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    RECT client{};
    GetClientRect(control, &client);
    const auto dc = getWindowDc(control);
    if (!dc) return {};
    auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    const auto selected =
        selectObject(dc.get().dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(control, GWL_STYLE));
    wchar_t name[16] = {};
    GetClassNameW(control, name, 16);
    const UINT prefix = lstrcmpiW(name, L"Static") == 0 && (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
    RECT wrapped{0, 0, client.right, 0};
    DrawTextW(dc.get().dc, text.c_str(), -1, &wrapped, DT_CALCRECT | DT_WORDBREAK | prefix);
    RECT line{0, 0, 0, 0};
    DrawTextW(dc.get().dc, text.c_str(), -1, &line, DT_CALCRECT | DT_SINGLELINE | prefix);
    char out[96];
    std::snprintf(out, sizeof out, "%llu %ld %ld %ld %ld\n",
                  static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(control)),
                  wrapped.right, wrapped.bottom, line.right, line.bottom);
    return out;
}

void writeMeasures(HWND window, DWORD testProcess) {
    std::vector<HWND> controls;
    EnumChildWindows(window, collect, reinterpret_cast<LPARAM>(&controls));
    std::string lines;
    for (HWND control : controls) lines += measure(control);
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path =
        std::wstring(folder) + L"ui-harness-texts-" + std::to_wstring(testProcess) + L".txt";
    const common::win32::unique_hfile file(CreateFileW(
        path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file)
        WriteFile(file.get(), lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    measureTextsHook(int code, WPARAM wParam, LPARAM lParam) {
    static const UINT measureMessage = RegisterWindowMessageW(L"UiHarnessMeasureTexts");
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == measureMessage)
        writeMeasures(call->hwnd, static_cast<DWORD>(call->wParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
