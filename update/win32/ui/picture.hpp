#pragma once

// What a picture box shows: a bitmap resource, decoded for the window's scale,
// and drawn over the dialog face colour at the size the layout gives it.

#include <memory>

#include <windows.h>

#include "common/win32/unique_any.hpp"

namespace update::forms {

// A picture box's bitmap, drawn for the window's scale or the next larger one,
// and the size it is shown at there.
struct Picture {
    common::win32::UniqueBitmap bitmap;
    SIZE shown{};
};

// The picture `imageId` for `dpi`. The imaging component it is decoded by is
// COM's: the calling thread must be in an apartment (the program joins one at
// start). A picture that cannot be loaded is traced and stays empty rather
// than failing the window.
std::unique_ptr<Picture> loadPicture(HINSTANCE instance, int imageId, int dpi);

// Paints `picture` (null: none) at the window's top-left corner over the face colour.
void paintPicture(HWND window, const Picture* picture);

}  // namespace update::forms
