#include "ui_harness.hpp"

#include "common/win32/unique_any.hpp"

namespace ui_harness {

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
    const common::win32::unique_hdc memory(CreateCompatibleDC(screenDc));
    void* pixels = nullptr;
    const common::win32::unique_hbitmap bitmap(CreateDIBSection(
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
