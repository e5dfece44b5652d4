#pragma once

// A small forms layer on plain Win32: a form is a top-level window, a frame a
// borderless child container, a label a STATIC, a command button a BUTTON and a
// picture box a child that paints one bitmap. Controls are laid out in twips
// and created in tab order, so z-order and keyboard order agree.

#include "common/win32/unique_any.hpp"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <windows.h>

namespace update::forms {

inline constexpr int kTwipsPerPixel = 15;  // at 96 dots per inch

constexpr int twipsToPixels(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }

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

class Form {
public:
    explicit Form(HINSTANCE instance);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    HWND hwnd() const { return window_.get(); }
    HWND control(std::string_view name) const;
    HFONT font() const { return font_.get(); }

protected:
    // Creates the window hidden, with every control; false when it could not.
    bool create(const FormDesign& design, const std::vector<ControlDesign>& controls);
    // Shows the window and gives the focus to its first tab stop.
    void showAndFocus();
    void setBusy(bool busy);
    // Enables or disables a control; a focused control hands the focus on first.
    void enable(HWND control, bool enabled);
    HINSTANCE instance() const { return instance_; }

    virtual void onClick(HWND /*button*/) {}
    virtual void onClose() { DestroyWindow(hwnd()); }
    virtual void onDestroyed() {}

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    bool createControl(const ControlDesign& design, int id);
    void chooseFont();
    static void discardQueuedInput();
    bool captionsFit(HFONT font) const;
    void moveFocus(WPARAM wParam, LPARAM lParam);

    HINSTANCE instance_;
    HWND savedFocus_ = nullptr;
    bool busy_ = false;
    common::win32::unique_hfont font_;
    // Loaded at a given size, so they are not shared and must be destroyed.
    common::win32::unique_hicon bigIcon_;
    common::win32::unique_hicon smallIcon_;
    std::vector<common::win32::unique_hbitmap> bitmaps_;
    std::vector<std::pair<std::string, HWND>> controls_;
    // Last, so the window is destroyed before the font and images its controls use.
    common::win32::unique_hwnd window_;
};

// Keyboard handling of a form: Tab and access keys as in a dialog, Enter
// clicks the focused button only, Esc clicks nothing. True when consumed.
bool translateFormKeys(MSG& msg);

// Runs the message loop until WM_QUIT; returns its exit code.
int runMessageLoop();

// Runs a nested loop with `owner` disabled until `done` is set or `dialog` is
// destroyed. A WM_QUIT seen meanwhile is posted again for the outer loop.
void runModal(HWND dialog, HWND owner, const bool& done);

}  // namespace update::forms
