// Update at 96, 120, 144 and 192 dots per inch: every control keeps its place
// at 96 scaled by the DPI, the windows' client areas are 15 twips to the pixel
// at 96, every text fits its control in the font the program chose, and
// nothing overlaps.
#include "layout_checks.hpp"
#include "tests/e2e/update_fixture.hpp"

namespace update_e2e {
namespace {

// What a picture box shows, such as the exit question's symbol and text, is
// laid out to the text's height rather than scaled.
bool inTheLayout(const Window& control) { return control.parent().className() != L"UpdatePicture"; }

// The form's layout is `at96` scaled by the DPI, each edge within the pixel a
// scaled length rounds to (exact at 96). The first call, at 96, fills it in:
// the controls as they are, the client area at 15 twips to the pixel.
void expectFitsAndKeepsItsLayout(const Window& form, SIZE clientTwips, std::optional<Layout>& at96,
                                 int dpi) {
    const Layout layout = measureLayout(form, inTheLayout);
    if (!at96) at96 = Layout{{clientTwips.cx / 15, clientTwips.cy / 15}, layout.controls};
    const double scale = dpi / 96.0;
    expectScaled(layout, *at96, scale, scale, dpi == 96 ? 0.5 : 1.0);
    expectTextsFitAndNothingOverlaps(form);
}

// At each scale the wizard goes from Welcome to Install, where "Exit Setup"
// ends it with nothing changed.
TEST_F(UpdateWizardTest, FitsAndKeepsItsLayoutAtEveryDisplayScale) {
    makeMedia();
    makeInstallation();
    writeRecord(L"1.9.0");
    const auto before = installedState();
    std::optional<Layout> wizardAt96, exitAt96;
    for (const int dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE("at " + std::to_string(dpi) + " dots per inch");
        const DisplayDpi display(dpi);
        const std::wstring suffix = L"-" + std::to_wstring(dpi);
        startUpdate();
        // The hidden pages are measured too: each page is its own frame.
        expectFitsAndKeepsItsLayout(wizard_, {6360, 4230}, wizardAt96, dpi);
        screenshot(L"update-welcome" + suffix);

        goToInstallPage();
        EXPECT_EQ(next_.text(), L"&Install");
        EXPECT_EQ(wizard_.text(), L"Install");
        screenshot(L"update-install" + suffix);

        const auto confirmation = openExitConfirmation();
        expectFitsAndKeepsItsLayout(confirmation, {4350, 2835}, exitAt96, dpi);
        screenshot(L"update-exit" + suffix, confirmation);
        findControl(confirmation, {.text = L"&Exit Setup"}).click();
        expectEnds();
        EXPECT_EQ(installedState(), before);
    }
}

}  // namespace
}  // namespace update_e2e
