#include "win32/ui/frm_exit.hpp"

#include <algorithm>
#include <utility>

#include "common/core/trace.hpp"
#include "win32/ui/message_loop.hpp"
#include "win32/ui/resource_ids.h"

namespace update {
namespace {

using forms::ControlDesign;
using forms::ControlKind;

constexpr const char* paragraphTexts[] = {
    "Setup is not complete. If you quit the setup program now, the program will not be "
    "installed.",
    "You may run the setup program at a later time to complete the installation.",
    "To continue installing, click Resume. To quit the Setup program, click Exit Setup.",
};
constexpr const char* paragraphNames[] = {"lblParagraph1", "lblParagraph2", "lblParagraph3"};

// The question is a symbol with the paragraphs as text, inside the picture box
// (in pixels at 96 dots per inch).
constexpr int symbolLeft = 12;
constexpr int symbolSize = 32;
constexpr int textLeft = 60;
constexpr int textRightMargin = 8;
constexpr int paragraphGap = 6;

std::vector<ControlDesign> exitControls() {
    std::vector<ControlDesign> controls = {
        {ControlKind::PictureBox, "Picture1", "Picture1", "", {0, 120, 4335, 1815}, 0, 0},
        {ControlKind::PictureBox,
         "picQuestion",
         "picQuestion",
         "Picture1",
         {symbolLeft * 15, 0, symbolSize * 15, symbolSize * 15},
         0,
         IDR_QUESTION},
        {ControlKind::CommandButton, "cmdResume", "&Resume", "", {840, 2280, 1215, 325}, 1},
        {ControlKind::CommandButton, "cmdExit", "&Exit Setup", "", {2400, 2280, 1215, 325}, 2},
    };
    for (int i = 0; i < 3; ++i)
        controls.push_back({ControlKind::Label,
                            paragraphNames[i],
                            paragraphTexts[i],
                            "Picture1",
                            {textLeft * 15, 0, 3375, 1815},
                            0});  // height set by layout
    return controls;
}

}  // namespace

frmExit::frmExit(HINSTANCE instance, std::function<void()> endProgram)
    : Form(instance), endProgram_(std::move(endProgram)) {}

void frmExit::showModal(HWND owner) {
    done_ = false;
    // Without the confirmation the wizard goes on, as if the user had resumed.
    if (auto created = create({"Exit", 4350, 2835, IDI_UPDATE, owner}, exitControls()); !created) {
        common::trace(created.failure());
        return;
    }
    showAndFocus();
    forms::runModal(hwnd(), owner, done_);
    if (hwnd()) DestroyWindow(hwnd());
}

// Each paragraph gets the height its wrapped text needs; the block is centred
// in the picture box and the symbol sits level with its first line.
void frmExit::onLayout() {
    const auto px = [this](int designPixels) { return forms::scaledPixels(designPixels, dpi()); };
    HWND picture = control("Picture1");
    RECT box{};
    GetClientRect(picture, &box);
    const int left = px(textLeft);
    const int width = box.right - left - px(textRightMargin);
    const int gap = px(paragraphGap);
    int heights[3] = {};
    int total = 0;
    {
        const auto dc = common::win32::getWindowDc(picture);
        if (!dc) return;
        const auto fontSelected = common::win32::selectObject(dc.get().dc, font());
        for (int i = 0; i < 3; ++i) {
            RECT r{0, 0, width, 0};
            DrawTextA(dc.get().dc, paragraphTexts[i], -1, &r,
                      DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
            heights[i] = r.bottom;
            total += r.bottom + (i ? gap : 0);
        }
    }
    int top = std::max(0, (static_cast<int>(box.bottom) - total) / 2);
    MoveWindow(control("picQuestion"), px(symbolLeft), top, px(symbolSize), px(symbolSize), FALSE);
    for (int i = 0; i < 3; ++i) {
        MoveWindow(control(paragraphNames[i]), left, top, width, heights[i], FALSE);
        top += heights[i] + gap;
    }
}

void frmExit::onClick(HWND button) {
    if (button == control("cmdResume")) cmdResume_Click();
    if (button == control("cmdExit")) cmdExit_Click();
}

// Closing the confirmation by its title bar is the same as resuming.
void frmExit::onClose() { cmdResume_Click(); }

void frmExit::cmdResume_Click() {
    setBusy(false);
    done_ = true;
}

void frmExit::cmdExit_Click() {
    setBusy(false);
    if (endProgram_) endProgram_();
    done_ = true;
}

}  // namespace update
