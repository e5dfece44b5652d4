// Update at 96, 120, 144 and 192 dots per inch: every text fits its control in
// the font the program chose, every control keeps its designed place scaled by
// the DPI (exactly the designed one at 96), and nothing overlaps.
#include <span>

#include "layout_checks.hpp"
#include "tests/e2e/update_fixture.hpp"

namespace update_e2e {
namespace {

struct Placement {
    const wchar_t* container;  // the page frame; empty for the window itself
    const wchar_t* text;       // the control's text, or the start of a label's
    Box twips;
};

constexpr Box kWizardClient{0, 0, 6360, 4230};
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

constexpr Box kExitClient{0, 0, 4350, 2835};
const Placement kExit[] = {
    {L"", L"Picture1", {0, 120, 4335, 1815}},
    {L"", L"&Resume", {840, 2280, 1215, 325}},
    {L"", L"&Exit Setup", {2400, 2280, 1215, 325}},
};

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
void expectFitsAndKeepsItsPlaces(const Window& form, const Box& clientTwips,
                                 std::span<const Placement> design, int dpi) {
    const double scale = dpi / 1440.0;
    const double tolerance = dpi == 96 ? 0.5 : 1.0;
    RECT client{};
    GetClientRect(form.handle(), &client);
    EXPECT_NEAR(client.right, clientTwips.width * scale, tolerance);
    EXPECT_NEAR(client.bottom, clientTwips.height * scale, tolerance);
    for (const auto& control : design) {
        SCOPED_TRACE(narrow(std::wstring(control.container) + L"/" + control.text));
        expectPlaced(placed(form, control), control.twips, scale, scale, tolerance);
    }
    expectTextsFitAndNothingOverlaps(form);
}

TEST_F(UpdateWizardTest, FitsAndKeepsItsDesignAtEveryDisplayScale) {
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

        goToInstallPage();
        screenshot(L"update-install" + suffix);
        update_.reset();  // kills it
    }
}

}  // namespace
}  // namespace update_e2e
