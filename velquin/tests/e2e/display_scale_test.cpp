// Velquin's dialog at 96, 120, 144 and 192 dots per inch: every text fits its
// control in the dialog's font, every control keeps its place in dialog units
// while those grow with the DPI, the icon is drawn at the DPI's size, and
// nothing overlaps.
#include <gtest/gtest.h>

#include "layout_checks.hpp"
#include "tests/e2e/e2e_support.hpp"
#include "win32/resource_ids.h"

namespace velquin_e2e {
namespace {

using namespace ui_harness;
using namespace std::chrono_literals;

struct Placement {
    int id;  // 0: found by its text
    const wchar_t* text;
    Box units;
};

constexpr Box kClient{0, 0, 245, 100};
const Placement kDialog[] = {
    {IDC_PROGRAM_ICON, nullptr, {6, 10, 0, 0}},  {0, L"Velquin Version 1.0", {41, 11, 84, 8}},
    {IDC_CONFIGURE, nullptr, {170, 25, 53, 14}}, {IDC_TEST, nullptr, {170, 43, 53, 14}},
    {IDC_STATUS, nullptr, {5, 78, 216, 8}},      {IDC_DEVICES, nullptr, {39, 37, 125, 0}},
    {IDC_REFRESH, nullptr, {72, 55, 53, 14}},    {IDC_INSTALL, nullptr, {170, 7, 53, 14}},
    {IDC_REMOVE, nullptr, {170, 61, 53, 14}},
};

TEST(DisplayScale, DialogFitsAndKeepsItsDesignAtEveryDisplayScale) {
    double baseAt96 = 0;  // horizontal dialog base unit at 96 dots per inch
    for (const int dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE("at " + std::to_string(dpi) + " dots per inch");
        const DisplayDpi display(dpi);
        auto velquin = Process::start(velquinPath());
        const Window dialog = velquin.waitForWindow({.title = L"Velquin", .className = L"#32770"});
        // The longest text the status line shows.
        findControl(dialog, {.id = IDC_STATUS}).setText(L"Driver already installed for the device");

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
            expectPlaced(control.id ? findControl(dialog, {.id = control.id})
                                    : findControl(dialog, {.text = control.text}),
                         control.units, baseX / 4, baseY / 8, 1.0);
        }
        const RECT icon = rectInParent(findControl(dialog, {.id = IDC_PROGRAM_ICON}));
        EXPECT_EQ(icon.right - icon.left, 32 * dpi / 96) << "the icon is not drawn for the DPI";
        expectTextsFitAndNothingOverlaps(dialog);

        if (dpi != 120) saveScreenshot(dialog, L"velquin-dialog-" + std::to_wstring(dpi));
        dialog.close();
        EXPECT_TRUE(velquin.waitForExit(10s));
    }
}

}  // namespace
}  // namespace velquin_e2e
