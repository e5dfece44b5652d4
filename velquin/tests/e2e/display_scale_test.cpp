// Velquin's dialog at 96, 120, 144 and 192 dots per inch: every text fits its
// control in the dialog's font, every control keeps its place in dialog units
// while those grow with the DPI, the icon is drawn at the DPI's size, and
// nothing overlaps.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/e2e/e2e_support.hpp"

namespace velquin_e2e {
namespace {

using namespace ui_harness;
using namespace std::chrono_literals;

struct DialogUnits {
    int x, y, width, height;  // height 0: the control sizes itself
};

struct Placement {
    int id;  // 0: found by its text
    const wchar_t* text;
    DialogUnits units;
};

constexpr int kIcon = 2;
constexpr int kStatus = 1002;
constexpr DialogUnits kClient{0, 0, 245, 100};
const Placement kDialog[] = {
    {kIcon, nullptr, {6, 10, 0, 0}},     {0, L"Velquin Version 1.0", {41, 11, 84, 8}},
    {1000, nullptr, {170, 25, 53, 14}},  {1001, nullptr, {170, 43, 53, 14}},
    {kStatus, nullptr, {5, 78, 216, 8}}, {1003, nullptr, {39, 37, 125, 0}},
    {1005, nullptr, {72, 55, 53, 14}},   {1006, nullptr, {170, 7, 53, 14}},
    {1007, nullptr, {170, 61, 53, 14}},
};

// The longest text the status line shows.
const std::wstring kLongestStatus = L"Driver already installed for the device";

Window placed(const Window& dialog, const Placement& control) {
    return control.id ? findControl(dialog, {.id = control.id})
                      : findControl(dialog, {.text = std::wstring(control.text)});
}

TEST(DisplayScale, DialogFitsAndKeepsItsDesignAtEveryDisplayScale) {
    readTruePixels();
    double baseAt96 = 0;  // horizontal dialog base unit at 96 dots per inch
    for (const int dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE("at " + std::to_string(dpi) + " dots per inch");
        const DisplayDpi display(dpi);
        auto velquin = Process::start(velquinPath());
        const Window dialog = velquin.waitForWindow({.title = L"Velquin", .className = L"#32770"});
        findControl(dialog, {.id = kStatus}).setText(kLongestStatus);

        // Dialog units follow the dialog font, and that grows with the DPI; not
        // quite in proportion, as the face's widths round differently at each size.
        RECT client{};
        GetClientRect(dialog.handle(), &client);
        const double baseX = client.right * 4.0 / kClient.width;
        const double baseY = client.bottom * 8.0 / kClient.height;
        if (dpi == 96) baseAt96 = baseX;
        EXPECT_NEAR(baseX, baseAt96 * dpi / 96, baseAt96 * dpi / 96 * 0.1);
        for (const auto& control : kDialog) {
            SCOPED_TRACE("control " + std::to_string(control.id));
            const RECT r = rectInParent(placed(dialog, control));
            EXPECT_NEAR(r.left, control.units.x * baseX / 4, 1.0);
            EXPECT_NEAR(r.top, control.units.y * baseY / 8, 1.0);
            if (control.units.height) {
                EXPECT_NEAR(r.right - r.left, control.units.width * baseX / 4, 1.0);
                EXPECT_NEAR(r.bottom - r.top, control.units.height * baseY / 8, 1.0);
            }
        }
        const RECT icon = rectInParent(findControl(dialog, {.id = kIcon}));
        EXPECT_EQ(icon.right - icon.left, 32 * dpi / 96) << "the icon is not drawn for the DPI";

        for (const auto& text : measureTexts(dialog)) {
            if (text.text.empty()) continue;
            SCOPED_TRACE(narrow(text.text));
            EXPECT_LE(text.wrapped.cx, text.client.cx);
            EXPECT_LE(text.wrapped.cy, text.client.cy);
            EXPECT_EQ(text.wrapped.cy, text.oneLine.cy) << "the text wraps";
        }

        const auto controls = dialog.descendants();
        for (size_t i = 0; i < controls.size(); ++i)
            for (size_t j = i + 1; j < controls.size(); ++j) {
                const RECT a = rectInParent(controls[i]);
                const RECT b = rectInParent(controls[j]);
                RECT common{};
                EXPECT_FALSE(IntersectRect(&common, &a, &b))
                    << controls[i].controlId() << " overlaps " << controls[j].controlId();
            }
        if (dpi != 120) saveScreenshot(dialog, L"velquin-dialog-" + std::to_wstring(dpi));
        dialog.close();
        EXPECT_TRUE(velquin.waitForExit(10s));
    }
}

}  // namespace
}  // namespace velquin_e2e
