#include "win32/ui/forms.hpp"

#include <algorithm>
#include <cstring>

namespace update::forms {
namespace {

constexpr char kFormClass[] = "UpdateForm";
constexpr char kFrameClass[] = "UpdateFrame";
constexpr char kPictureClass[] = "UpdatePicture";
constexpr int kFirstControlId = 100;  // clear of IDOK/IDCANCEL, which the dialog manager sends

RECT pixelRect(const TwipsRect& r) {
    const int left = twipsToPixels(r.left);
    const int top = twipsToPixels(r.top);
    return {left, top, left + twipsToPixels(r.width), top + twipsToPixels(r.height)};
}

// Paints its bitmap at its top-left corner over the dialog face colour.
// Bitmaps are 32-bit with premultiplied alpha, so edges blend with the face.
void paintPicture(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    const auto bitmap = reinterpret_cast<HBITMAP>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    BITMAP info{};
    if (bitmap && GetObjectA(bitmap, sizeof info, &info) == sizeof info) {
        const common::win32::unique_hdc source(CreateCompatibleDC(dc));
        const auto selected = source ? common::win32::selectObject(source.get(), bitmap)
                                     : common::win32::unique_select_object();
        if (selected) {
            const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            // gdi32's own entry: msimg32 is not a known DLL and could be
            // loaded from the program's folder before the search is restricted.
            GdiAlphaBlend(dc, 0, 0, info.bmWidth, info.bmHeight, source.get(), 0, 0, info.bmWidth,
                          info.bmHeight, blend);
        }
    }
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK pictureProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        paintPicture(hwnd);
        return 0;
    }
    if (message == WM_ERASEBKGND) return 1;  // WM_PAINT fills everything
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void registerClasses(HINSTANCE instance, WNDPROC formProc) {
    static bool registered = false;
    if (registered) return;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);

    wc.lpfnWndProc = formProc;
    wc.lpszClassName = kFormClass;
    RegisterClassExA(&wc);

    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = kFrameClass;
    RegisterClassExA(&wc);

    wc.lpfnWndProc = pictureProc;
    wc.lpszClassName = kPictureClass;
    RegisterClassExA(&wc);
    registered = true;
}

bool isPushButton(HWND hwnd) {
    char name[16] = {};
    GetClassNameA(hwnd, name, sizeof name);
    return lstrcmpiA(name, "Button") == 0;
}

bool isForm(HWND hwnd) {
    char name[32] = {};
    GetClassNameA(hwnd, name, sizeof name);
    return std::strcmp(name, kFormClass) == 0;
}

// Centred on the owner, or on the work area for a window without one.
POINT centredPosition(HWND owner, int width, int height) {
    RECT area{};
    if (!owner || !GetWindowRect(owner, &area)) SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return {area.left + (area.right - area.left - width) / 2,
            area.top + (area.bottom - area.top - height) / 2};
}

}  // namespace

std::vector<ControlDesign> inTabOrder(std::vector<ControlDesign> controls) {
    std::stable_sort(
        controls.begin(), controls.end(),
        [](const ControlDesign& a, const ControlDesign& b) { return a.tabIndex < b.tabIndex; });
    return controls;
}

Form::Form(HINSTANCE instance) : instance_(instance) {}

Form::~Form() {
    // The window then goes without calling back into this half-destroyed form.
    if (window_) SetWindowLongPtrA(window_.get(), GWLP_USERDATA, 0);
}

HWND Form::control(std::string_view name) const {
    for (const auto& [controlName, hwnd] : controls_)
        if (controlName == name) return hwnd;
    return nullptr;
}

bool Form::create(const FormDesign& design, const std::vector<ControlDesign>& controls) {
    registerClasses(instance_, &Form::windowProc);
    const bool owned = design.owner != nullptr;
    const DWORD style = (owned ? WS_POPUP : WS_OVERLAPPED | WS_MINIMIZEBOX) | WS_CAPTION |
                        WS_SYSMENU | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_CONTROLPARENT | (owned ? WS_EX_DLGMODALFRAME : 0);
    RECT frame{0, 0, twipsToPixels(design.clientWidthTwips),
               twipsToPixels(design.clientHeightTwips)};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const POINT at = centredPosition(design.owner, width, height);
    CreateWindowExA(exStyle, kFormClass, design.title.c_str(), style, at.x, at.y, width, height,
                    design.owner, nullptr, instance_, this);
    if (!hwnd()) return false;

    if (design.iconId) {
        const auto load = [this, &design](int metricX, int metricY) {
            return common::win32::unique_hicon(static_cast<HICON>(
                LoadImageA(instance_, MAKEINTRESOURCEA(design.iconId), IMAGE_ICON,
                           GetSystemMetrics(metricX), GetSystemMetrics(metricY), 0)));
        };
        bigIcon_ = load(SM_CXICON, SM_CYICON);
        smallIcon_ = load(SM_CXSMICON, SM_CYSMICON);
        SendMessageA(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
        SendMessageA(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
    }
    int id = kFirstControlId;
    for (const ControlDesign& c : inTabOrder(controls))
        if (!createControl(c, id++)) return false;
    chooseFont();
    return true;
}

// The layout was made for MS Sans Serif 8 point. Where the system puts a wider
// face in its place, the size steps down until no caption is clipped.
void Form::chooseFont() {
    for (int height : {11, 10, 9}) {
        font_ = common::win32::unique_hfont(CreateFontA(
            -height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "MS Sans Serif"));
        if (captionsFit(font_.get())) break;
    }
    for (const auto& entry : controls_)
        SendMessageA(entry.second, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
}

bool Form::captionsFit(HFONT font) const {
    const auto dc = common::win32::getWindowDc(hwnd());
    if (!dc) return true;  // nothing to measure with: keep the design's size
    const auto selected = common::win32::selectObject(dc.get().dc, font);
    bool fit = true;
    for (const auto& entry : controls_) {
        HWND hwnd = entry.second;
        char windowClass[16] = {};
        GetClassNameA(hwnd, windowClass, sizeof windowClass);
        const bool isLabel = lstrcmpiA(windowClass, "Static") == 0;
        if (!isLabel && !isPushButton(hwnd)) continue;
        char text[512] = {};
        GetWindowTextA(hwnd, text, sizeof text);
        RECT box{};
        GetClientRect(hwnd, &box);
        // Buttons need room for their edges and focus rectangle.
        const int room = isLabel ? box.right : box.right - 8;
        RECT needed{0, 0, room, 0};
        DrawTextA(dc.get().dc, text, -1, &needed,
                  DT_CALCRECT | (isLabel ? DT_WORDBREAK : DT_SINGLELINE));
        if (needed.right > room || needed.bottom > box.bottom) fit = false;
    }
    return fit;
}

bool Form::createControl(const ControlDesign& design, int id) {
    HWND parent = design.parent.empty() ? hwnd() : control(design.parent);
    if (!parent) return false;  // a container must come before its contents
    const RECT r = pixelRect(design.bounds);
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (design.visible ? WS_VISIBLE : 0);
    DWORD exStyle = 0;
    const char* windowClass = kFrameClass;
    switch (design.kind) {
        case ControlKind::Frame:
            exStyle = WS_EX_CONTROLPARENT;
            break;
        case ControlKind::Label:
            windowClass = "STATIC";
            style |= SS_LEFT;
            break;
        case ControlKind::CommandButton:
            windowClass = "BUTTON";
            style |= BS_PUSHBUTTON | WS_TABSTOP;
            break;
        case ControlKind::PictureBox:
            windowClass = kPictureClass;
            exStyle = WS_EX_CONTROLPARENT;
            break;
    }
    HWND hwnd =
        CreateWindowExA(exStyle, windowClass, design.text.c_str(), style, r.left, r.top,
                        r.right - r.left, r.bottom - r.top, parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    if (!hwnd) return false;
    if (design.imageId) {
        // A missing image leaves an empty picture rather than failing the window.
        common::win32::unique_hbitmap bitmap(static_cast<HBITMAP>(LoadImageA(
            instance_, MAKEINTRESOURCEA(design.imageId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(bitmap.get()));
        bitmaps_.push_back(std::move(bitmap));
    }
    controls_.emplace_back(design.name, hwnd);
    return true;
}

void Form::showAndFocus() {
    ShowWindow(hwnd(), SW_SHOW);
    UpdateWindow(hwnd());
    SetForegroundWindow(hwnd());
    if (HWND first = GetNextDlgTabItem(hwnd(), nullptr, FALSE)) SetFocus(first);
}

void Form::setBusy(bool busy) {
    if (busy_ && !busy) discardQueuedInput();
    busy_ = busy;
    SetCursor(LoadCursorA(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

// Keys and clicks given while the window could not respond were aimed at what
// the user saw then, not at the page shown now.
void Form::discardQueuedInput() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (PeekMessageA(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
}

void Form::enable(HWND control, bool enabled) {
    // A disabled window cannot keep the focus; hand it on so the keyboard still works.
    if (!enabled && GetFocus() == control) {
        HWND next = GetNextDlgTabItem(hwnd(), control, FALSE);
        if (next && next != control) SetFocus(next);
    }
    EnableWindow(control, enabled);
}

void Form::moveFocus(WPARAM wParam, LPARAM lParam) {
    HWND target = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                                 : GetNextDlgTabItem(hwnd(), GetFocus(), wParam != 0);
    if (target) SetFocus(target);
}

LRESULT CALLBACK Form::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<Form*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        form->window_.reset(hwnd);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!form) return DefWindowProcA(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        static_cast<void>(form->window_.release());  // being destroyed already
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    return form->handle(message, wParam, lParam);
}

LRESULT Form::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            // Only real button clicks; the dialog manager's IDOK/IDCANCEL carry no control.
            // A click that reaches a button after it was disabled does nothing.
            if (HIWORD(wParam) == BN_CLICKED && lParam &&
                IsWindowEnabled(reinterpret_cast<HWND>(lParam)))
                onClick(reinterpret_cast<HWND>(lParam));
            return 0;
        case WM_NEXTDLGCTL:
            moveFocus(wParam, lParam);
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(hwnd(), focus)) savedFocus_ = focus;
            } else {
                HWND target = savedFocus_;
                if (!target || !IsChild(hwnd(), target) || !IsWindowEnabled(target))
                    target = GetNextDlgTabItem(hwnd(), nullptr, FALSE);
                if (target) SetFocus(target);
            }
            return 0;
        case WM_SETCURSOR:
            if (busy_) {
                SetCursor(LoadCursorA(nullptr, IDC_WAIT));
                return TRUE;
            }
            break;
        case WM_CLOSE:
            onClose();
            return 0;
        case WM_DESTROY:
            onDestroyed();
            return 0;
        default:
            break;
    }
    return DefWindowProcA(hwnd(), message, wParam, lParam);
}

bool translateFormKeys(MSG& msg) {
    if (!msg.hwnd) return false;
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    if (!root || !isForm(root)) return false;
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) return true;
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
        HWND focus = GetFocus();
        if (focus && IsChild(root, focus) && isPushButton(focus) && IsWindowEnabled(focus))
            SendMessageA(focus, BM_CLICK, 0, 0);
        return true;
    }
    return IsDialogMessageA(root, &msg) != FALSE;
}

int runMessageLoop() {
    MSG msg{};
    BOOL got;
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1) return 1;
        if (!translateFormKeys(msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
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
        if (!translateFormKeys(msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    // Enabled again before the dialog goes, so the activation returns to the owner.
    if (owner) {
        EnableWindow(owner, TRUE);
        SetActiveWindow(owner);
    }
}

}  // namespace update::forms
