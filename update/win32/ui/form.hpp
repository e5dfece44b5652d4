#pragma once

// A small forms layer on plain Win32: a form is a top-level window, a frame a
// borderless child container, a label a STATIC, a command button a BUTTON and a
// picture box a child that paints one bitmap. Controls are laid out in twips
// and created in tab order, so z-order and keyboard order agree. Twips become
// pixels at the window's own DPI; fonts and pictures follow it, also when the
// window moves to a monitor of another scale.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "common/core/failure.hpp"
#include "common/win32/unique_any.hpp"

namespace update::forms {

// Twips are 1440 to the inch; the layout was drawn at 96 dots per inch,
// where a pixel is 15 twips. Sizes are rounded to the nearest pixel.
inline constexpr int designDpi = 96;
inline constexpr int twipsPerInch = 1440;

constexpr int twipsToPixels(int twips, int dpi = designDpi) {
    return (twips * dpi + twipsPerInch / 2) / twipsPerInch;
}

// A length in pixels of the 96 dots-per-inch design, at `dpi`.
constexpr int scaledPixels(int pixels, int dpi) {
    return (pixels * dpi + designDpi / 2) / designDpi;
}

struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

enum class ControlKind { Frame, Label, CommandButton, PictureBox };

struct ControlDesign {
    ControlKind kind = ControlKind::Label;
    std::string name;    // unique within the form; used to look the control up
    std::string text;    // caption; for frames and pictures their design name
    std::string parent;  // container's name; empty for the form itself
    TwipsRect bounds;
    int tabIndex = 0;
    int imageId = 0;  // bitmap resource of a picture box, 0 for none
    bool visible = true;
};

struct FormDesign {
    std::string title;
    int clientWidthTwips = 0;
    int clientHeightTwips = 0;
    int iconId = 0;
    HWND owner = nullptr;
};

// Sorted by TabIndex: the order in which the controls are created.
std::vector<ControlDesign> inTabOrder(std::vector<ControlDesign> controls);

struct Picture;  // what a picture box shows

class Form {
public:
    explicit Form(HINSTANCE instance);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    HWND hwnd() const { return window_.get(); }
    HWND control(std::string_view name) const;
    HFONT font() const { return font_.get(); }
    int dpi() const { return dpi_; }

protected:
    // Creates the window hidden, with every control.
    common::Result<> create(const FormDesign& design, const std::vector<ControlDesign>& controls);
    // Shows the window and gives the focus to its first tab stop.
    void showAndFocus();
    void setBusy(bool busy);
    // Enables or disables a control; a focused control hands the focus on first.
    void enable(HWND control, bool enabled);
    HINSTANCE instance() const { return instance_; }

    virtual void onClick(HWND /*button*/) {}
    virtual void onClose() { DestroyWindow(hwnd()); }
    virtual void onDestroyed() {}
    // After the controls were placed for the DPI, for what a form places itself.
    virtual void onLayout() {}

private:
    struct Placed {
        std::string name;
        HWND hwnd = nullptr;
        TwipsRect bounds;
        int imageId = 0;
        std::unique_ptr<Picture> picture;  // picture boxes only
    };

    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam,
                                       LPARAM lParam) noexcept;
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    // The control's window, still to be placed; null with CreateWindowExA's last error.
    HWND createControl(const ControlDesign& design, int id);
    // Places everything, and loads the fonts, pictures and icons, for dpi_.
    void layOut();
    void loadIcons();
    void chooseFont();
    static void discardQueuedInput();
    bool captionsFit(HFONT font) const;
    void moveFocus(WPARAM wParam, LPARAM lParam);

    HINSTANCE instance_;
    HWND savedFocus_ = nullptr;
    bool busy_ = false;
    int dpi_ = designDpi;
    int iconId_ = 0;
    common::win32::UniqueFont font_;
    common::win32::UniqueIcon bigIcon_;
    common::win32::UniqueIcon smallIcon_;
    std::vector<Placed> controls_;
    // Last, so the window is destroyed before the font and images its controls use.
    common::win32::UniqueWindow window_;
};

// Hands a message on. The keys of a form work as in a dialog, Tab and access
// keys included, except that Enter clicks the focused button only and Esc
// clicks nothing; everything else is translated and dispatched.
void dispatch(MSG& msg);

}  // namespace update::forms
