#include "win32/ui/picture.hpp"

#include <span>

#include <wincodec.h>

#include "common/core/failure.hpp"
#include "common/core/trace.hpp"
#include "common/win32/failed_call.hpp"
#include "win32/ui/form.hpp"
#include "win32/ui/resource_ids.h"

namespace update::forms {
namespace {

using common::Result;
using common::win32::ComPtr;
using common::win32::selectObject;
using common::win32::UniqueBitmap;
using common::win32::UniqueDc;

// Each picture is drawn for these scales (per cent), under ids IDR_SCALE_STEP
// apart. The smallest drawing that is at least as large as the DPI needs is
// shown, reduced where it is larger; above the largest, that one is enlarged.
constexpr int drawnScales[] = {100, 150, 200};

// The bytes of a resource of the program, which live as long as it is loaded.
Result<std::span<const BYTE>> readResource(HINSTANCE instance, int id) {
    const HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(id), RT_RCDATA);
    if (!found) return FAILED_CALL(FindResourceA);
    const HGLOBAL loaded = LoadResource(instance, found);
    if (!loaded) return FAILED_CALL(LoadResource);
    const auto* data = static_cast<const BYTE*>(LockResource(loaded));
    if (!data) return FAILED_CALL(LockResource);
    return std::span(data, SizeofResource(instance, found));
}

// The decoded pixels in a top-down DIB section, as WIC copies the rows.
Result<UniqueBitmap> toBitmap(IWICBitmapSource& pixels) {
    UINT width = 0, height = 0;
    if (const HRESULT hr = pixels.GetSize(&width, &height); FAILED(hr))
        return FAILED_HRESULT(IWICBitmapSource::GetSize, hr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = -static_cast<LONG>(height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap) return FAILED_CALL(CreateDIBSection);
    if (const HRESULT hr =
            pixels.CopyPixels(nullptr, width * 4, width * height * 4, static_cast<BYTE*>(bits));
        FAILED(hr))
        return FAILED_HRESULT(IWICBitmapSource::CopyPixels, hr);
    return bitmap;
}

// The pictures are stored as PNG, a fraction of their size as bitmaps. The
// system's imaging component decodes them into the pixels GDI blends: 32-bit
// with premultiplied alpha.
Result<UniqueBitmap> decodePicture(std::span<const BYTE> png) {
    ComPtr<IWICImagingFactory> factory;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICImagingFactory, reinterpret_cast<void**>(factory.put()));
    if (FAILED(hr)) return FAILED_HRESULT(CoCreateInstance, hr);
    ComPtr<IWICStream> stream;
    if (FAILED(hr = factory.get()->CreateStream(stream.put())))
        return FAILED_HRESULT(IWICImagingFactory::CreateStream, hr);
    if (FAILED(hr = stream.get()->InitializeFromMemory(const_cast<BYTE*>(png.data()),
                                                       static_cast<DWORD>(png.size()))))
        return FAILED_HRESULT(IWICStream::InitializeFromMemory, hr);
    ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(hr = factory.get()->CreateDecoderFromStream(
                   stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.put())))
        return FAILED_HRESULT(IWICImagingFactory::CreateDecoderFromStream, hr);
    ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(hr = decoder.get()->GetFrame(0, frame.put())))
        return FAILED_HRESULT(IWICBitmapDecoder::GetFrame, hr);
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(hr = factory.get()->CreateFormatConverter(converter.put())))
        return FAILED_HRESULT(IWICImagingFactory::CreateFormatConverter, hr);
    if (FAILED(hr = converter.get()->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA,
                                                WICBitmapDitherTypeNone, nullptr, 0.0,
                                                WICBitmapPaletteTypeCustom)))
        return FAILED_HRESULT(IWICFormatConverter::Initialize, hr);
    return toBitmap(*converter.get());
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
    const UniqueDc source(CreateCompatibleDC(dc));
    if (!source) return;
    const auto bitmapSelected = selectObject(source.get(), picture.bitmap.get());
    if (picture.shown.cx == info.bmWidth && picture.shown.cy == info.bmHeight) {
        blendOrCopy(dc, source.get(), info);
        return;
    }
    const UniqueDc flat(CreateCompatibleDC(dc));
    const UniqueBitmap canvas(CreateCompatibleBitmap(dc, info.bmWidth, info.bmHeight));
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

}  // namespace

std::unique_ptr<Picture> loadPicture(HINSTANCE instance, int imageId, int dpi) {
    const int wanted = scaledPixels(100, dpi);
    int step = 0;
    while (step + 1 < static_cast<int>(std::size(drawnScales)) && drawnScales[step] < wanted)
        ++step;
    auto picture = std::make_unique<Picture>();
    const auto png = readResource(instance, imageId + step * IDR_SCALE_STEP);
    if (!png) {
        common::trace(png.failure());
        return picture;
    }
    auto bitmap = decodePicture(*png);
    if (!bitmap) {
        common::trace(bitmap.failure());
        return picture;
    }
    picture->bitmap = std::move(*bitmap);
    BITMAP info{};
    GetObjectA(picture->bitmap.get(), sizeof info, &info);  // a DIB section: it always answers
    const int percent = drawnScales[step];
    picture->shown = {scaledPixels((info.bmWidth * 100 + percent / 2) / percent, dpi),
                      scaledPixels((info.bmHeight * 100 + percent / 2) / percent, dpi)};
    return picture;
}

void paintPicture(HWND window, const Picture* picture) {
    const auto paint = common::win32::beginPaint(window);
    if (!paint) return;
    const HDC dc = paint.get().paint.hdc;
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    if (picture && picture->bitmap) drawPicture(dc, *picture);
}

}  // namespace update::forms
