// Velquin's dialog at 96, 120, 144 and 192 dots per inch: every control keeps
// its place at 96 as the dialog units grow with the DPI, the icon is drawn at
// the DPI's size, every text fits its control in the dialog's font, and
// nothing overlaps.
#include <gtest/gtest.h>

#include "layout_checks.hpp"
#include "tests/e2e/e2e_support.hpp"
#include "win32/ui/resource_ids.h"

namespace velquin_e2e {
namespace {

using namespace ui_harness;
using namespace std::chrono_literals;

TEST(DisplayScale, DialogFitsAndKeepsItsLayoutAtEveryDisplayScale) {
    std::optional<Layout> at96;
    for (const int dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE("at " + std::to_string(dpi) + " dots per inch");
        const DisplayDpi display(dpi);
        auto velquin = Process::start(velquinPath());
        const Window dialog = velquin.waitForWindow({.title = L"Velquin", .className = L"#32770"});
        // The longest text the status line shows.
        findControl(dialog, {.id = IDC_STATUS}).setText(L"Driver already installed for the device");

        // Dialog units follow the dialog font, and that grows with the DPI; not
        // quite in proportion, as the face's widths round differently at each
        // size. An edge is rounded at 96 and again here: within 2 pixels.
        const Layout layout = measureLayout(dialog);
        if (!at96) at96 = layout;
        const double scaleX = static_cast<double>(layout.client.cx) / at96->client.cx;
        const double scaleY = static_cast<double>(layout.client.cy) / at96->client.cy;
        EXPECT_NEAR(scaleX, dpi / 96.0, dpi / 96.0 * 0.1);
        expectScaled(layout, *at96, scaleX, scaleY, 2.0);
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
