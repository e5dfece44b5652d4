// A small window with the kinds of controls the programs under test use, so
// the harness can be checked on its own. Every action reports through the
// window title or the edit control.
#include <windows.h>
#include <commdlg.h>

#include <string>

namespace {

enum ControlId { kMessage = 101, kOpen = 102, kPath = 103, kOpenAnsi = 104, kList = 105 };

HWND control(HWND window, int id) { return GetDlgItem(window, id); }

void askQuestion(HWND window) {
    const int answer = MessageBoxW(window, L"Sample question", L"Sample caption", MB_OKCANCEL);
    SetWindowTextW(window, (L"answered:" + std::to_wstring(answer)).c_str());
}

void chooseFile(HWND window) {
    wchar_t path[MAX_PATH] = {};
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window;
    dialog.lpstrFilter = L"Driver files (*.sys)\0*.sys\0All files\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    SetWindowTextW(control(window, kPath), GetOpenFileNameW(&dialog) ? path : L"cancelled");
}

void chooseFileAnsi(HWND window) {
    char path[MAX_PATH] = {};
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window;
    dialog.lpstrFilter = "Driver files (*.sys)\0*.sys\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST;
    SetWindowTextA(control(window, kPath), GetOpenFileNameA(&dialog) ? path : "cancelled");
}

void reportSelection(HWND window) {
    HWND list = control(window, kList);
    const auto index = SendMessageW(list, LB_GETCURSEL, 0, 0);
    wchar_t item[64] = {};
    if (index >= 0) SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(item));
    SetWindowTextW(window, (std::wstring(L"selected:") + item).c_str());
}

void createControls(HWND window) {
    const auto instance = GetModuleHandleW(nullptr);
    const auto child = [&](const wchar_t* cls, const wchar_t* text, DWORD style, int id, int x,
                           int y, int w, int h) {
        CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, window,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    };
    child(L"BUTTON", L"&Message", BS_PUSHBUTTON, kMessage, 10, 10, 100, 26);
    child(L"BUTTON", L"&Open", BS_PUSHBUTTON, kOpen, 120, 10, 100, 26);
    child(L"BUTTON", L"Open &ANSI", BS_PUSHBUTTON, kOpenAnsi, 230, 10, 100, 26);
    child(L"EDIT", L"", WS_BORDER | ES_AUTOHSCROLL, kPath, 10, 46, 320, 24);
    child(L"LISTBOX", L"", WS_BORDER | LBS_NOTIFY, kList, 10, 80, 320, 80);
    for (const wchar_t* item : {L"alpha", L"beta", L"gamma"})
        SendMessageW(control(window, kList), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            createControls(window);
            return 0;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kMessage:
                    askQuestion(window);
                    return 0;
                case kOpen:
                    chooseFile(window);
                    return 0;
                case kOpenAnsi:
                    chooseFileAnsi(window);
                    return 0;
                case kList:
                    if (HIWORD(wParam) == LBN_SELCHANGE) reportSelection(window);
                    return 0;
            }
            break;
        case WM_DESTROY:
            PostQuitMessage(7);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"HarnessSample";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, L"HarnessSample", L"Harness Sample", WS_OVERLAPPEDWINDOW, 40,
                                  40, 360, 220, nullptr, nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOW);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
