#pragma once
// What the display-scale tests of both programs expect of a window's layout.

#include <gtest/gtest.h>

#include "ui_harness.hpp"

namespace ui_harness {

// A control's place in design units; a height of 0: the control sizes itself.
struct Box {
    int left, top, width, height;
};

// The control lies at `design` scaled by `scaleX` and `scaleY`, each edge within `tolerance`.
inline void expectPlaced(const Window& control, const Box& design, double scaleX, double scaleY,
                         double tolerance) {
    const RECT r = rectInParent(control);
    EXPECT_NEAR(r.left, design.left * scaleX, tolerance) << "left";
    EXPECT_NEAR(r.top, design.top * scaleY, tolerance) << "top";
    if (design.height == 0) return;
    EXPECT_NEAR(r.right - r.left, design.width * scaleX, tolerance) << "width";
    EXPECT_NEAR(r.bottom - r.top, design.height * scaleY, tolerance) << "height";
}

// Every text of a label or button fits its control in the control's font, a
// button's on one line. Siblings never overlap, except pages (controls that
// hold controls) lying on one another; all but a page lie within their parent.
inline void expectTextsFitAndNothingOverlaps(const Window& window) {
    const auto measures = measureTexts(window);
    EXPECT_FALSE(measures.empty());
    for (const auto& text : measures) {
        if (text.text.empty()) continue;
        SCOPED_TRACE(narrow(text.text));
        EXPECT_LE(text.wrapped.cx, text.client.cx);
        EXPECT_LE(text.wrapped.cy, text.client.cy);
        if (text.control.className() == L"Button") {
            EXPECT_EQ(text.wrapped.cy, text.oneLine.cy) << "the caption wraps";
        }
    }
    const auto controls = window.descendants();
    const auto isPage = [](const Window& control) { return !control.descendants().empty(); };
    for (size_t i = 0; i < controls.size(); ++i) {
        const RECT a = rectInParent(controls[i]);
        RECT area{}, common{};
        GetClientRect(controls[i].parent().handle(), &area);
        EXPECT_TRUE(isPage(controls[i]) ||
                    (UnionRect(&common, &a, &area) && EqualRect(&common, &area)))
            << narrow(controls[i].text()) << " reaches outside its parent";
        for (size_t j = i + 1; j < controls.size(); ++j) {
            const RECT b = rectInParent(controls[j]);
            if (controls[i].parent().handle() != controls[j].parent().handle() ||
                (isPage(controls[i]) && isPage(controls[j])))
                continue;
            EXPECT_FALSE(IntersectRect(&common, &a, &b))
                << narrow(controls[i].text()) << " overlaps " << narrow(controls[j].text());
        }
    }
}

}  // namespace ui_harness
