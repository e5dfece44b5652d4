#include "win32/ui/form.hpp"

#include <algorithm>
#include <cstring>
#include <string>

#include "common/win32/failed_call.hpp"
#include "common/win32/message_boundary.hpp"
#include "common/win32/window_dpi.hpp"
#include "win32/ui/picture.hpp"

namespace update::forms {

using common::win32::selectObject;
using common::win32::UniqueIcon;
using common::win32::windowDpi;

namespace {

constexpr char formClass[] = "UpdateForm";
constexpr char frameClass[] = "UpdateFrame";
constexpr char pictureClass[] = "UpdatePicture";
constexpr int firstControlId = 100;  // clear of IDOK/IDCANCEL, which the dialog manager sends

RECT pixelRect(const TwipsRect& r, int dpi) {
    const int left = twipsToPixels(r.left, dpi);
    const int top = twipsToPixels(r.top, dpi);
    return {left, top, left + twipsToPixels(r.width, dpi), top + twipsToPixels(r.height, dpi)};
}

// The frame's metrics grow with the DPI too where the system can say by how much.
void adjustFrame(RECT& rect, DWORD style, DWORD exStyle, int dpi) {
    using AdjustForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi =
        common::win32::user32Function<AdjustForDpiFunction>("AdjustWindowRectExForDpi");
    if (!adjustForDpi || !adjustForDpi(&rect, style, FALSE, exStyle, static_cast<UINT>(dpi)))
        AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

LRESULT CALLBACK pictureProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_PAINT) {
        return common::win32::atMessageBoundary(L"pictureProc", LRESULT{0}, [&] {
            paintPicture(hwnd,
                         reinterpret_cast<const Picture*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)));
            return LRESULT{0};
        });
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
    wc.lpszClassName = formClass;
    RegisterClassExA(&wc);

    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = frameClass;
    RegisterClassExA(&wc);

    wc.lpfnWndProc = pictureProc;
    wc.lpszClassName = pictureClass;
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
    return std::strcmp(name, formClass) == 0;
}

// Centred on the owner, or on the work area for a window without one.
POINT centredPosition(HWND owner, int width, int height) {
    RECT area{};
    if (!owner || !GetWindowRect(owner, &area)) SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return {area.left + (area.right - area.left - width) / 2,
            area.top + (area.bottom - area.top - height) / 2};
}

// True when the message was a key of a form, handled here.
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
    for (const Placed& placed : controls_)
        if (placed.name == name) return placed.hwnd;
    return nullptr;
}

common::Result<> Form::create(const FormDesign& design,
                              const std::vector<ControlDesign>& controls) {
    registerClasses(instance_, &Form::windowProc);
    const bool owned = design.owner != nullptr;
    const DWORD style = (owned ? WS_POPUP : WS_OVERLAPPED | WS_MINIMIZEBOX) | WS_CAPTION |
                        WS_SYSMENU | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_CONTROLPARENT | (owned ? WS_EX_DLGMODALFRAME : 0);
    iconId_ = design.iconId;
    // Sized for the screen it opens on; a window that lands on a monitor of
    // another scale is sized again below.
    const auto frameSize = [&](int dpi) {
        RECT frame{0, 0, twipsToPixels(design.clientWidthTwips, dpi),
                   twipsToPixels(design.clientHeightTwips, dpi)};
        adjustFrame(frame, style, exStyle, dpi);
        return SIZE{frame.right - frame.left, frame.bottom - frame.top};
    };
    dpi_ = windowDpi(design.owner);
    SIZE size = frameSize(dpi_);
    POINT at = centredPosition(design.owner, size.cx, size.cy);
    CreateWindowExA(exStyle, formClass, design.title.c_str(), style, at.x, at.y, size.cx, size.cy,
                    design.owner, nullptr, instance_, this);
    if (!hwnd()) return FAILED_CALL(CreateWindowExA);
    if (const int dpi = windowDpi(hwnd()); dpi != dpi_) {
        dpi_ = dpi;
        size = frameSize(dpi_);
        at = centredPosition(design.owner, size.cx, size.cy);
        SetWindowPos(hwnd(), nullptr, at.x, at.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    }

    int id = firstControlId;
    for (const ControlDesign& c : inTabOrder(controls)) {
        HWND created = createControl(c, id++);
        if (!created) return FAILED_CALL(CreateWindowExA);
        controls_.push_back({c.name, created, c.bounds, c.imageId, nullptr});
    }
    layOut();
    return {};
}

void Form::layOut() {
    loadIcons();
    for (Placed& placed : controls_) {
        const RECT r = pixelRect(placed.bounds, dpi_);
        MoveWindow(placed.hwnd, r.left, r.top, r.right - r.left, r.bottom - r.top, FALSE);
        if (placed.imageId) {
            auto picture = loadPicture(instance_, placed.imageId, dpi_);
            SetWindowLongPtrA(placed.hwnd, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(picture.get()));
            placed.picture = std::move(picture);
        }
    }
    chooseFont();
    onLayout();
    RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// Icons are drawn at 16 to 48 and 256 pixels; the caption and the task
// switcher ask for 16 and 32 at 96 dots per inch.
void Form::loadIcons() {
    if (!iconId_) return;
    const auto load = [this](int size) {
        return UniqueIcon(static_cast<HICON>(
            LoadImageA(instance_, MAKEINTRESOURCEA(iconId_), IMAGE_ICON, size, size, 0)));
    };
    UniqueIcon big = load(scaledPixels(32, dpi_));
    UniqueIcon small = load(scaledPixels(16, dpi_));
    SendMessageA(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
    SendMessageA(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
    // The window has let go of the icons held so far.
    bigIcon_ = std::move(big);
    smallIcon_ = std::move(small);
}

// The layout was made for MS Sans Serif 8 point. That is a bitmap font with a
// few sizes only, blurred or too small at most display scales, so the
// system's dialog face is asked for: its outline twin Microsoft Sans Serif on
// Windows, Tahoma where that stands in. Where a wider face stands in, the size
// steps down until no caption is clipped.
void Form::chooseFont() {
    for (int tenthsOfPoint : {80, 75, 70}) {
        const int height = (tenthsOfPoint * dpi_ + 360) / 720;
        font_.reset(CreateFontA(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                DEFAULT_PITCH | FF_SWISS, "MS Shell Dlg"));
        if (captionsFit(font_.get())) break;
    }
    for (const Placed& placed : controls_)
        SendMessageA(placed.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
}

bool Form::captionsFit(HFONT font) const {
    const auto dc = common::win32::getWindowDc(hwnd());
    if (!dc) return true;
    const auto fontSelected = selectObject(dc.get().dc, font);
    bool fit = true;
    for (const Placed& placed : controls_) {
        HWND hwnd = placed.hwnd;
        char windowClass[16] = {};
        GetClassNameA(hwnd, windowClass, sizeof windowClass);
        const bool isLabel = lstrcmpiA(windowClass, "Static") == 0;
        if (!isLabel && !isPushButton(hwnd)) continue;
        char text[512] = {};
        GetWindowTextA(hwnd, text, sizeof text);
        RECT box{};
        GetClientRect(hwnd, &box);
        // Buttons need room for their edges and focus rectangle.
        const int room = isLabel ? box.right : box.right - scaledPixels(8, dpi_);
        RECT needed{0, 0, room, 0};
        DrawTextA(dc.get().dc, text, -1, &needed,
                  DT_CALCRECT | (isLabel ? DT_WORDBREAK : DT_SINGLELINE));
        if (needed.right > room || needed.bottom > box.bottom) fit = false;
    }
    return fit;
}

HWND Form::createControl(const ControlDesign& design, int id) {
    // A container must come before its contents: a child without a parent fails.
    HWND parent = design.parent.empty() ? hwnd() : control(design.parent);
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (design.visible ? WS_VISIBLE : 0);
    DWORD exStyle = 0;
    const char* windowClass = frameClass;
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
            windowClass = pictureClass;
            exStyle = WS_EX_CONTROLPARENT;
            break;
    }
    // Placed by layOut once every control exists.
    return CreateWindowExA(exStyle, windowClass, design.text.c_str(), style, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
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
// the user saw then, not at the page shown now. So were the requests to close
// it from the title bar or the taskbar, which would otherwise close the page
// that shows how the work ended the moment it appears.
void Form::discardQueuedInput() {
    constexpr UINT queuedRanges[][2] = {{WM_KEYFIRST, WM_KEYLAST},
                                        {WM_MOUSEFIRST, WM_MOUSELAST},
                                        {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK},
                                        {WM_SYSCOMMAND, WM_SYSCOMMAND},
                                        {WM_CLOSE, WM_CLOSE}};
    MSG msg;
    for (const auto& [first, last] : queuedRanges) {
        while (PeekMessageA(&msg, nullptr, first, last, PM_REMOVE)) {
        }
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

LRESULT CALLBACK Form::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
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
    // A handler that fails leaves its action undone: 0 also fails WM_NCCREATE.
    return common::win32::atMessageBoundary(L"Form::windowProc", LRESULT{0},
                                            [&] { return form->handle(message, wParam, lParam); });
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
        case WM_DPICHANGED: {
            // Moved to a monitor of another scale: take the size the system
            // suggests and lay everything out again for the new DPI.
            dpi_ = LOWORD(wParam);
            const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(hwnd(), nullptr, suggested.left, suggested.top,
                         suggested.right - suggested.left, suggested.bottom - suggested.top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            layOut();
            return 0;
        }
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

void dispatch(MSG& msg) {
    if (translateFormKeys(msg)) return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

}  // namespace update::forms
