#include <sstream>

#include "common/win32/unique_any.hpp"
#include "ui_harness.hpp"

namespace ui_harness {

static constexpr wchar_t desktopKey[] = L"Control Panel\\Desktop";

DisplayDpi::DisplayDpi(int dpi) {
    const auto value = static_cast<DWORD>(dpi);
    RegKey::create(HKEY_CURRENT_USER, desktopKey)
        .setRaw(L"LogPixels", REG_DWORD, std::string(reinterpret_cast<const char*>(&value), 4));
    // Else the windows of DPI-aware programs look scaled to 96 DPI from here.
    if (!SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE))
        throw HarnessError("this thread cannot be made aware of the display scale");
}

DisplayDpi::~DisplayDpi() {
    if (auto key = RegKey::open(HKEY_CURRENT_USER, desktopKey, KEY_ALL_ACCESS))
        RegDeleteValueW(key->get(), L"LogPixels");
}

RECT rectInParent(const Window& control) {
    RECT rect{};
    GetWindowRect(control.handle(), &rect);
    MapWindowPoints(nullptr, control.parent().handle(), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::vector<TextMeasure> measureTexts(const Window& window) {
    const auto probePath = pathFromEnvironment(L"UI_TEXT_PROBE");
    const common::win32::UniqueModule probe(LoadLibraryW(probePath.c_str()));
    const auto hook = probe ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(
                                  GetProcAddress(probe.get(), "measureTextsHook")))
                            : nullptr;
    if (!hook) throw HarnessError(L"cannot load the text probe " + probePath);

    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    const auto results =
        joinPath(folder, L"ui-harness-texts-" + std::to_wstring(GetCurrentProcessId()) + L".txt");
    DeleteFileW(results.c_str());
    {
        const DWORD thread = GetWindowThreadProcessId(window.handle(), nullptr);
        const common::win32::UniqueAny<HHOOK, &UnhookWindowsHookEx> installed(
            SetWindowsHookExW(WH_CALLWNDPROC, hook, probe.get(), thread));
        if (!installed) throw HarnessError("cannot hook the program's window thread");
        DWORD_PTR ignored = 0;
        if (!SendMessageTimeoutW(window.handle(), RegisterWindowMessageW(L"UiHarnessMeasureTexts"),
                                 GetCurrentProcessId(), 0, SMTO_ABORTIFHUNG, 10000, &ignored))
            throw HarnessError("the program did not answer the text probe in time");
    }
    std::istringstream in(readFile(results));
    DeleteFileW(results.c_str());

    std::vector<TextMeasure> measures;
    unsigned long long handle = 0;
    long wrapped[2] = {}, single[2] = {};
    while (in >> handle >> wrapped[0] >> wrapped[1] >> single[0] >> single[1]) {
        const Window control(reinterpret_cast<HWND>(static_cast<UINT_PTR>(handle)));
        RECT client{};
        GetClientRect(control.handle(), &client);
        measures.push_back({control,
                            control.text(),
                            {client.right, client.bottom},
                            {wrapped[0], wrapped[1]},
                            {single[0], single[1]}});
    }
    return measures;
}

// Writes a 24-bit bottom-up BMP of the window's screen rectangle.
void saveScreenshot(const Window& window, const std::wstring& name) {
    SetForegroundWindow(window.handle());
    RedrawWindow(window.handle(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    Sleep(300);  // painting happens in the program's own thread
    RECT rect{};
    GetWindowRect(window.handle(), &rect);
    const LONG width = rect.right - rect.left;
    const LONG height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) throw HarnessError(L"nothing to capture for " + name);

    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biSizeImage = stride * static_cast<DWORD>(height);  // BI_RGB

    const auto screen = common::win32::getWindowDc(nullptr);
    const HDC screenDc = screen.get().dc;
    const common::win32::UniqueDc memory(CreateCompatibleDC(screenDc));
    void* pixels = nullptr;
    const common::win32::UniqueBitmap bitmap(CreateDIBSection(
        screenDc, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &pixels, nullptr, 0));
    if (!bitmap) throw HarnessError(L"cannot make a bitmap for " + name);
    {
        const auto selected = common::win32::selectObject(memory.get(), bitmap.get());
        BitBlt(memory.get(), 0, 0, width, height, screenDc, rect.left, rect.top, SRCCOPY);
    }
    GdiFlush();

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + header.biSizeImage;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&header), sizeof header);
    bytes.append(static_cast<const char*>(pixels), header.biSizeImage);
    // The runner turns what the test left there into png files once it has ended.
    writeFile(joinPath(pathFromEnvironment(L"WINE_RUN_SCREENS"), name + L".bmp"), bytes);
}

}  // namespace ui_harness
