#pragma once
// What the display-scale tests of both programs expect of a window's layout.

#include <gtest/gtest.h>

#include "ui_harness.hpp"

#include <string>
#include <vector>

namespace ui_harness {

// A window as measured: its client area and its controls in the order it
// lists them (those `measured` takes), each with its class and text, and its
// place in its parent.
struct Layout {
    struct Control {
        std::wstring name;
        RECT place;
        bool sizesItself;  // a combo box (its font sets its height) or an icon (its image)
    };
    SIZE client;
    std::vector<Control> controls;
};

inline Layout measureLayout(
    const Window& window, bool (*measured)(const Window&) = [](const Window&) { return true; }) {
    RECT client{};
    GetClientRect(window.handle(), &client);
    Layout layout{{client.right, client.bottom}, {}};
    for (const Window& control : window.descendants()) {
        if (!measured(control)) continue;
        const std::wstring type = control.className();
        const bool icon = (GetWindowLongW(control.handle(), GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
        layout.controls.push_back({type + L" \"" + control.text() + L"\"", rectInParent(control),
                                   type == L"ComboBox" || (type == L"Static" && icon)});
    }
    return layout;
}

// `layout` is `at96` scaled by `scaleX` and `scaleY`, each edge within
// `tolerance`; a control that sizes itself only keeps its place.
inline void expectScaled(const Layout& layout, const Layout& at96, double scaleX, double scaleY,
                         double tolerance) {
    EXPECT_NEAR(layout.client.cx, at96.client.cx * scaleX, tolerance) << "client width";
    EXPECT_NEAR(layout.client.cy, at96.client.cy * scaleY, tolerance) << "client height";
    ASSERT_EQ(layout.controls.size(), at96.controls.size());
    for (std::size_t i = 0; i < layout.controls.size(); ++i) {
        const auto& [name, r, sizesItself] = layout.controls[i];
        const RECT& d = at96.controls[i].place;
        SCOPED_TRACE(narrow(name));
        ASSERT_EQ(name, at96.controls[i].name);
        EXPECT_NEAR(r.left, d.left * scaleX, tolerance) << "left";
        EXPECT_NEAR(r.top, d.top * scaleY, tolerance) << "top";
        if (sizesItself) continue;
        EXPECT_NEAR(r.right - r.left, (d.right - d.left) * scaleX, tolerance) << "width";
        EXPECT_NEAR(r.bottom - r.top, (d.bottom - d.top) * scaleY, tolerance) << "height";
    }
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
