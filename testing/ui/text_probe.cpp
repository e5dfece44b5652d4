// Loaded into a program under test through a WH_CALLWNDPROC hook (see
// measureTexts in ui_harness_display.cpp). On the program's own thread, and in
// each control's own font, it measures what the text of every label and
// button below the window the message was sent to needs, and writes that to
// %TEMP%\ui-harness-texts-<test process id>.txt for the test to read.
#include <windows.h>

#include <cstdio>
#include <string>

#include "common/win32/unique_any.hpp"

namespace {

// Adds a line for a label or button: its handle, the size its text needs
// wrapped within the client width, and the size on a single line.
BOOL CALLBACK measure(HWND control, LPARAM lines) noexcept {
    wchar_t name[16] = {};
    GetClassNameW(control, name, 16);
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(control, GWL_STYLE));
    const bool label = lstrcmpiW(name, L"Static") == 0;
    const DWORD type = style & SS_TYPEMASK;
    if (label ? type == SS_ICON || type == SS_BITMAP || type == SS_ENHMETAFILE
              : lstrcmpiW(name, L"Button") != 0)
        return TRUE;
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    RECT client{};
    GetClientRect(control, &client);
    const auto dc = common::win32::getWindowDc(control);
    if (!dc) return TRUE;
    auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    const auto selected = common::win32::selectObject(
        dc.get().dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
    const UINT prefix = label && (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
    RECT wrapped{0, 0, client.right, 0};
    DrawTextW(dc.get().dc, text.c_str(), -1, &wrapped, DT_CALCRECT | DT_WORDBREAK | prefix);
    RECT line{0, 0, 0, 0};
    DrawTextW(dc.get().dc, text.c_str(), -1, &line, DT_CALCRECT | DT_SINGLELINE | prefix);
    char out[96];
    std::snprintf(out, sizeof out, "%llu %ld %ld %ld %ld\n",
                  static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(control)),
                  wrapped.right, wrapped.bottom, line.right, line.bottom);
    reinterpret_cast<std::string*>(lines)->append(out);
    return TRUE;
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    measureTextsHook(int code, WPARAM wParam, LPARAM lParam) noexcept {
    static const UINT measureMessage = RegisterWindowMessageW(L"UiHarnessMeasureTexts");
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == measureMessage) {
        std::string lines;
        EnumChildWindows(call->hwnd, measure, reinterpret_cast<LPARAM>(&lines));
        wchar_t folder[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        const std::wstring path = std::wstring(folder) + L"ui-harness-texts-" +
                                  std::to_wstring(static_cast<DWORD>(call->wParam)) + L".txt";
        const common::win32::UniqueFile file(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        if (file) WriteFile(file.get(), lines.data(), DWORD(lines.size()), &written, nullptr);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
