// Update at 96, 120, 144 and 192 dots per inch: every text fits its control in
// the font the program chose, every control keeps its designed place scaled by
// the DPI (exactly the designed one at 96), and nothing overlaps.
#include <cmath>
#include <map>
#include <span>

#include "tests/e2e/update_fixture.hpp"

namespace update_e2e {
namespace {

using namespace ui_harness;

struct Twips {
    int left, top, width, height;
};

struct Placement {
    const wchar_t* container;  // the page frame; empty for the window itself
    const wchar_t* text;       // the control's text, or the start of a label's
    Twips twips;
};

constexpr Twips kWizardClient{0, 0, 6360, 4230};
const Placement kWizard[] = {
    {L"", L"Picture1", {120, 120, 1815, 3975}},
    {L"", L"&Next", {2760, 3120, 1215, 330}},
    {L"", L"&Cancel", {4320, 3120, 1215, 330}},
    {L"", L"fraWelcome", {2160, 360, 4095, 2055}},
    {L"", L"fraInstall", {2160, 360, 4095, 1695}},
    {L"", L"fraFinal", {2160, 600, 4095, 1695}},
    {L"", L"fraNotInstalled", {2040, 600, 4575, 2175}},
    {L"", L"fraInsttalationFailed", {2040, 600, 4575, 1815}},
    {L"fraWelcome", L"Welcome to", {0, 0, 3975, 375}},
    {L"fraWelcome", L"It is strongly", {0, 480, 4095, 495}},
    {L"fraWelcome", L"Click Cancel to quit", {0, 1200, 3975, 615}},
    {L"fraInstall", L"Setup will now", {0, 0, 3975, 375}},
    {L"fraInstall", L"To install", {0, 480, 4095, 255}},
    {L"fraInstall", L"You can choose", {0, 960, 4095, 495}},
    {L"fraFinal", L"Service Pack installed", {0, 240, 3975, 375}},
    {L"fraFinal", L"Click Cancel to exit", {0, 720, 4095, 495}},
    {L"fraNotInstalled", L"picCritical", {0, 480, 570, 645}},
    {L"fraNotInstalled", L"No existing", {720, 240, 3375, 975}},
    {L"fraNotInstalled", L"Click Cancel to exit", {720, 1320, 2775, 495}},
    {L"fraInsttalationFailed", L"picCritical", {0, 480, 570, 645}},
    {L"fraInsttalationFailed", L"Installation Failed", {840, 600, 3615, 255}},
    {L"fraInsttalationFailed", L"Click Cancel to exit", {840, 960, 2775, 255}},
};

constexpr Twips kExitClient{0, 0, 4350, 2835};
const Placement kExit[] = {
    {L"", L"Picture1", {0, 120, 4335, 1815}},
    {L"", L"&Resume", {840, 2280, 1215, 325}},
    {L"", L"&Exit Setup", {2400, 2280, 1215, 325}},
};

bool isFrame(const Window& control) { return control.className() == L"UpdateFrame"; }

Window placed(const Window& form, const Placement& design) {
    for (const auto& control : form.descendants()) {
        const Window parent = control.parent();
        const std::wstring container = parent.handle() == form.handle() ? L"" : parent.text();
        if (container == design.container && control.text().starts_with(design.text))
            return control;
    }
    throw HarnessError(std::wstring(L"no control \"") + design.text + L"\" in " +
                       (*design.container ? design.container : L"the window"));
}

// At 96 dots per inch a pixel is exactly 15 twips (rounded to the nearest);
// elsewhere each edge may be a pixel off the exact scaled length.
void expectScaled(long pixels, int twips, int dpi, const char* what) {
    const double exact = twips * dpi / 1440.0;
    if (dpi == 96)
        EXPECT_EQ(pixels, std::lround(exact)) << what << " (" << twips << " twips)";
    else
        EXPECT_NEAR(pixels, exact, 1.0) << what << " (" << twips << " twips)";
}

void expectTextsFit(const Window& form) {
    const auto measures = measureTexts(form);
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
}

// Siblings never overlap (the pages lie on one another, but only one shows at
// a time), and everything but a page lies within its container.
void expectNothingOverlaps(const Window& form) {
    std::map<HWND, std::vector<Window>> byContainer;
    for (const auto& control : form.descendants())
        byContainer[control.parent().handle()].push_back(control);
    for (const auto& [container, controls] : byContainer) {
        RECT area{};
        GetClientRect(container, &area);
        for (size_t i = 0; i < controls.size(); ++i) {
            const RECT a = rectInParent(controls[i]);
            RECT common{};
            if (!isFrame(controls[i])) {
                EXPECT_TRUE(UnionRect(&common, &a, &area) && EqualRect(&common, &area))
                    << narrow(controls[i].text()) << " reaches outside its container";
            }
            for (size_t j = i + 1; j < controls.size(); ++j) {
                if (isFrame(controls[i]) && isFrame(controls[j])) continue;
                const RECT b = rectInParent(controls[j]);
                EXPECT_FALSE(IntersectRect(&common, &a, &b))
                    << narrow(controls[i].text()) << " overlaps " << narrow(controls[j].text());
            }
        }
    }
}

void expectFitsAndKeepsItsPlaces(const Window& form, const Twips& clientTwips,
                                 std::span<const Placement> design, int dpi) {
    RECT client{};
    GetClientRect(form.handle(), &client);
    expectScaled(client.right, clientTwips.width, dpi, "client width");
    expectScaled(client.bottom, clientTwips.height, dpi, "client height");
    for (const auto& control : design) {
        SCOPED_TRACE(narrow(std::wstring(control.container) + L"/" + control.text));
        const RECT r = rectInParent(placed(form, control));
        expectScaled(r.left, control.twips.left, dpi, "left");
        expectScaled(r.top, control.twips.top, dpi, "top");
        expectScaled(r.right - r.left, control.twips.width, dpi, "width");
        expectScaled(r.bottom - r.top, control.twips.height, dpi, "height");
    }
    expectTextsFit(form);
    expectNothingOverlaps(form);
}

TEST_F(UpdateWizardTest, FitsAndKeepsItsDesignAtEveryDisplayScale) {
    readTruePixels();
    makeMedia();
    writeRecord(L"1.9.0");
    for (const int dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE("at " + std::to_string(dpi) + " dots per inch");
        const DisplayDpi display(dpi);
        const std::wstring suffix = L"-" + std::to_wstring(dpi);
        startUpdate();
        // The texts of hidden pages are measured too: each page is its own frame.
        expectFitsAndKeepsItsPlaces(wizard_, kWizardClient, kWizard, dpi);
        screenshot(L"update-welcome" + suffix);

        const auto confirmation = openExitConfirmation();
        expectFitsAndKeepsItsPlaces(confirmation, kExitClient, kExit, dpi);
        screenshot(L"update-exit" + suffix, confirmation);
        findControl(confirmation, {.text = L"&Resume"}).click();
        ASSERT_TRUE(waitForGone(confirmation));

        clickNextOnWelcome();
        ASSERT_TRUE(waitForPage(L"fraInstall"));
        screenshot(L"update-install" + suffix);
        update_->kill();
        update_.reset();
    }
}

}  // namespace
}  // namespace update_e2e
