#include "win32/ui/forms.hpp"

#include <algorithm>
#include <cstring>
#include <string>

#include <wincodec.h>

#include "common/core/text.hpp"
#include "common/core/trace.hpp"
#include "common/win32/com.hpp"
#include "common/win32/message_boundary.hpp"
#include "common/win32/window_dpi.hpp"
#include "win32/ui/resource_ids.h"

namespace update::forms {

using common::win32::com_ptr;
using common::win32::selectObject;
using common::win32::unique_hbitmap;
using common::win32::unique_hdc;
using common::win32::unique_hicon;
using common::win32::windowDpi;

// A picture box's bitmap, drawn for the window's scale or the next larger one,
// and the size it is shown at there.
struct Picture {
    unique_hbitmap bitmap;
    SIZE shown{};
};

namespace {

constexpr char kFormClass[] = "UpdateForm";
constexpr char kFrameClass[] = "UpdateFrame";
constexpr char kPictureClass[] = "UpdatePicture";
constexpr int kFirstControlId = 100;  // clear of IDOK/IDCANCEL, which the dialog manager sends

RECT pixelRect(const TwipsRect& r, int dpi) {
    const int left = twipsToPixels(r.left, dpi);
    const int top = twipsToPixels(r.top, dpi);
    return {left, top, left + twipsToPixels(r.width, dpi), top + twipsToPixels(r.height, dpi)};
}

// The frame's metrics grow with the DPI too where the system can say by how much.
void adjustFrame(RECT& rect, DWORD style, DWORD exStyle, int dpi) {
    using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi =
        common::win32::user32Function<AdjustForDpiFn>("AdjustWindowRectExForDpi");
    if (!adjustForDpi || !adjustForDpi(&rect, style, FALSE, exStyle, static_cast<UINT>(dpi)))
        AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

// Each picture is drawn for these scales (per cent), under ids IDB_SCALE_STEP
// apart. The smallest drawing that is at least as large as the DPI needs is
// shown, reduced where it is larger; above the largest, that one is enlarged.
constexpr int kDrawnScales[] = {100, 150, 200};

// The pictures are stored as PNG, a fraction of their size as bitmaps, and
// decoded by the system's imaging component into a top-down 32-bit DIB with
// premultiplied alpha. Null, with the failure traced, when that cannot be done.
unique_hbitmap decodePicture(HINSTANCE instance, int id) {
    const HRSRC found =
        FindResourceA(instance, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(10));  // RCDATA
    const HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const auto* data = loaded ? static_cast<BYTE*>(LockResource(loaded)) : nullptr;
    if (!data) {
        common::trace(common::win32Failure(L"FindResourceA", GetLastError()));
        return {};
    }
    const auto com = common::win32::initializeCom();
    if (!com) {
        common::trace(com.failure());
        return {};
    }
    const auto failed = [](const wchar_t* call, HRESULT hr) {
        if (SUCCEEDED(hr)) return false;
        common::trace(common::hresultFailure(call, hr));
        return true;
    };
    com_ptr<IWICImagingFactory> factory;
    com_ptr<IWICStream> stream;
    com_ptr<IWICBitmapDecoder> decoder;
    com_ptr<IWICBitmapFrameDecode> frame;
    com_ptr<IWICFormatConverter> converter;
    UINT width = 0, height = 0;
    if (failed(L"CoCreateInstance(WICImagingFactory)",
               CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void**>(factory.put()))) ||
        failed(L"IWICImagingFactory::CreateStream", factory.get()->CreateStream(stream.put())) ||
        failed(L"IWICStream::InitializeFromMemory",
               stream.get()->InitializeFromMemory(const_cast<BYTE*>(data),
                                                  SizeofResource(instance, found))) ||
        failed(L"IWICImagingFactory::CreateDecoderFromStream",
               factory.get()->CreateDecoderFromStream(
                   stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.put())) ||
        failed(L"IWICBitmapDecoder::GetFrame", decoder.get()->GetFrame(0, frame.put())) ||
        failed(L"IWICImagingFactory::CreateFormatConverter",
               factory.get()->CreateFormatConverter(converter.put())) ||
        failed(L"IWICFormatConverter::Initialize",
               converter.get()->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA,
                                           WICBitmapDitherTypeNone, nullptr, 0.0,
                                           WICBitmapPaletteTypeCustom)) ||
        failed(L"IWICFormatConverter::GetSize", converter.get()->GetSize(&width, &height)))
        return {};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = -static_cast<LONG>(height);  // top-down, as WIC copies the rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    unique_hbitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap) {
        common::trace(common::win32Failure(L"CreateDIBSection", GetLastError()));
        return {};
    }
    if (failed(L"IWICFormatConverter::CopyPixels",
               converter.get()->CopyPixels(nullptr, width * 4, width * height * 4,
                                           static_cast<BYTE*>(bits))))
        return {};
    return bitmap;
}

std::unique_ptr<Picture> loadPicture(HINSTANCE instance, int imageId, int dpi) {
    const int wanted = scaledPixels(100, dpi);
    int step = 0;
    while (step + 1 < static_cast<int>(std::size(kDrawnScales)) && kDrawnScales[step] < wanted)
        ++step;
    auto picture = std::make_unique<Picture>();
    const int id = imageId + step * IDB_SCALE_STEP;
    picture->bitmap = decodePicture(instance, id);
    BITMAP info{};
    if (!picture->bitmap || GetObjectA(picture->bitmap.get(), sizeof info, &info) != sizeof info) {
        // A missing image leaves an empty picture rather than failing the window.
        common::trace(L"picture " + common::numberText(static_cast<std::uint32_t>(id)) +
                      L" could not be loaded");
        picture->bitmap.reset();
        return picture;
    }
    const int percent = kDrawnScales[step];
    picture->shown = {scaledPixels((info.bmWidth * 100 + percent / 2) / percent, dpi),
                      scaledPixels((info.bmHeight * 100 + percent / 2) / percent, dpi)};
    return picture;
}

// 32-bit bitmaps carry premultiplied alpha, so their edges blend with what
// lies behind; opaque ones are copied.
void blendOrCopy(HDC target, HDC source, const BITMAP& info) {
    if (info.bmBitsPixel == 32) {
        const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        // gdi32's own entry: msimg32 is not a known DLL and could be
        // loaded from the program's folder before the search is restricted.
        GdiAlphaBlend(target, 0, 0, info.bmWidth, info.bmHeight, source, 0, 0, info.bmWidth,
                      info.bmHeight, blend);
    } else {
        BitBlt(target, 0, 0, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
    }
}

// At its own size the bitmap goes straight onto the face colour. At another it
// is laid on the face colour first and then resampled with halftone, which
// averages the pixels a plain stretch would drop.
void drawPicture(HDC dc, const Picture& picture) {
    BITMAP info{};
    if (GetObjectA(picture.bitmap.get(), sizeof info, &info) != sizeof info) return;
    const unique_hdc source(CreateCompatibleDC(dc));
    if (!source) return;
    const auto bitmapSelected = selectObject(source.get(), picture.bitmap.get());
    if (picture.shown.cx == info.bmWidth && picture.shown.cy == info.bmHeight) {
        blendOrCopy(dc, source.get(), info);
        return;
    }
    const unique_hdc flat(CreateCompatibleDC(dc));
    const unique_hbitmap canvas(CreateCompatibleBitmap(dc, info.bmWidth, info.bmHeight));
    if (!flat || !canvas) return;
    const auto canvasSelected = selectObject(flat.get(), canvas.get());
    const RECT all{0, 0, info.bmWidth, info.bmHeight};
    FillRect(flat.get(), &all, GetSysColorBrush(COLOR_BTNFACE));
    blendOrCopy(flat.get(), source.get(), info);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, 0, 0, picture.shown.cx, picture.shown.cy, flat.get(), 0, 0, info.bmWidth,
               info.bmHeight, SRCCOPY);
}

// Paints its picture at its top-left corner over the dialog face colour.
void paintPicture(HWND hwnd) {
    const auto paint = common::win32::beginPaint(hwnd);
    if (!paint) return;
    const HDC dc = paint.get().paint.hdc;
    RECT client;
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    const auto* picture = reinterpret_cast<const Picture*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (picture && picture->bitmap) drawPicture(dc, *picture);
}

LRESULT CALLBACK pictureProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_PAINT) {
        return common::win32::atMessageBoundary(L"pictureProc", LRESULT{0}, [&] {
            paintPicture(hwnd);
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
    for (const Placed& placed : controls_)
        if (placed.name == name) return placed.hwnd;
    return nullptr;
}

bool Form::create(const FormDesign& design, const std::vector<ControlDesign>& controls) {
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
    CreateWindowExA(exStyle, kFormClass, design.title.c_str(), style, at.x, at.y, size.cx, size.cy,
                    design.owner, nullptr, instance_, this);
    if (!hwnd()) return false;
    if (const int dpi = windowDpi(hwnd()); dpi != dpi_) {
        dpi_ = dpi;
        size = frameSize(dpi_);
        at = centredPosition(design.owner, size.cx, size.cy);
        SetWindowPos(hwnd(), nullptr, at.x, at.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    }

    int id = kFirstControlId;
    for (const ControlDesign& c : inTabOrder(controls))
        if (!createControl(c, id++)) return false;
    layOut();
    return true;
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
        return unique_hicon(static_cast<HICON>(
            LoadImageA(instance_, MAKEINTRESOURCEA(iconId_), IMAGE_ICON, size, size, 0)));
    };
    unique_hicon big = load(scaledPixels(32, dpi_));
    unique_hicon small = load(scaledPixels(16, dpi_));
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

bool Form::createControl(const ControlDesign& design, int id) {
    HWND parent = design.parent.empty() ? hwnd() : control(design.parent);
    if (!parent) return false;  // a container must come before its contents
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
    // Placed by layOut once every control exists.
    HWND hwnd =
        CreateWindowExA(exStyle, windowClass, design.text.c_str(), style, 0, 0, 0, 0, parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    if (!hwnd) return false;
    controls_.push_back({design.name, hwnd, design.bounds, design.imageId, nullptr});
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
// the user saw then, not at the page shown now. So were the requests to close
// it from the title bar or the taskbar, which would otherwise close the page
// that shows how the work ended the moment it appears.
void Form::discardQueuedInput() {
    constexpr UINT kQueued[][2] = {{WM_KEYFIRST, WM_KEYLAST},
                                   {WM_MOUSEFIRST, WM_MOUSELAST},
                                   {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK},
                                   {WM_SYSCOMMAND, WM_SYSCOMMAND},
                                   {WM_CLOSE, WM_CLOSE}};
    MSG msg;
    for (const auto& [first, last] : kQueued) {
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
