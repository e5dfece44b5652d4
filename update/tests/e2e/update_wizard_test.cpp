#include "tests/e2e/update_fixture.hpp"

#include "common/win32/unique_any.hpp"

namespace update_e2e {
namespace {

using namespace std::chrono_literals;

TEST_F(UpdateWizardTest, WithoutARecordTheNotFoundPageClosesAtOnce) {
    makeMedia();
    makeInstallation();
    const auto before = installedState();
    startUpdate();

    next_.click();
    EXPECT_TRUE(waitForPage(L"fraNotInstalled")) << narrow(visiblePages());
    EXPECT_FALSE(next_.enabled());
    screenshot(L"update-not-installed");
    cancel_.click();
    expectEnds();
    EXPECT_TRUE(topLevelWindows(update_->id(), {.title = L"Exit"}).empty());
    EXPECT_EQ(installedState(), before);
}

// Wine's own user32 and setupapi import version.dll; Update.exe loads them
// only after it has restricted the search to the system folder.
TEST_F(UpdateWizardTest, InstallReplacesEventsAndDatabaseAndIgnoresAPlantedVersionDll) {
    makeMedia(L"1.9.2");
    makeInstallation();
    writeRecord(L"1.9.0");
    const PlantedVersionDll planted(mediaFolder(), {L"Update.exe"});

    // A whole run, so a load at start and one by the install step both count.
    startUpdate();
    goToInstallPage();
    next_.click();
    ASSERT_TRUE(waitUntil([&] { return wizard_.text() == L"Complete"; }, 30s));
    EXPECT_TRUE(waitForPage(L"fraFinal")) << narrow(visiblePages());
    EXPECT_FALSE(next_.enabled());
    screenshot(L"update-complete");
    cancel_.click();
    expectEnds();

    EXPECT_EQ(snapshotTree(joinPath(installFolder(), L"Events")),
              snapshotTree(joinPath(mediaFolder(), L"Events\\Events")));
    EXPECT_EQ(readFile(joinPath(installFolder(), L"Database\\OrvDb.mdb")),
              readFile(joinPath(mediaFolder(), L"Database\\OrvDb.mdb")));
    EXPECT_EQ(readFile(joinPath(installFolder(), L"Orvexa.exe")), "the product itself");
    EXPECT_EQ(recordedVersion(), L"1.9.2");
    EXPECT_FALSE(planted.loaded()) << "Update.exe loaded the planted version.dll";
    EXPECT_TRUE(planted.foundByUnguardedProgram())
        << "the plant is not detected: the check above proves nothing";
}

// The rule's texts are proven where it is; here one refusal is shown and the
// failed page follows.
TEST_F(UpdateWizardTest, ARefusalShowsItsReasonThenTheFailedPageWithNothingChanged) {
    makeMedia(L"1.9.1");
    makeInstallation();
    writeRecord(L"1.8.0");
    startUpdate();
    goToInstallPage();
    // The check reads the record afresh, not as the wizard found it.
    writeRecord(L"1.9.2");
    const auto before = installedState();

    next_.click();
    const auto box = waitForMessageBox(update_->id(), L"Update");
    EXPECT_EQ(box.text,
              L"This Orvexa version(1.9.1) is older than the existing version(1.9.2)"
              L"\r\n                Cannot Install. Contact Administrator");
    EXPECT_EQ(box.buttons, std::vector<std::wstring>{L"OK"});
    screenshot(L"update-refusal", box.window);
    box.press(L"OK");

    EXPECT_TRUE(waitForPage(L"fraInsttalationFailed")) << narrow(visiblePages());
    EXPECT_FALSE(next_.enabled());
    EXPECT_EQ(installedState(), before);
}

// Another program holds a file of the old Events, which would stay behind in
// a renamed copy (under Wine the rename itself does not notice it): the run
// fails with nothing changed, and the trace names the call that found it.
TEST_F(UpdateWizardTest, FileInUseLeavesTheInstallationAsItWasAndTracesTheFailedCall) {
    makeMedia();
    makeInstallation();
    writeRecord(L"1.9.0");
    const auto before = installedState();
    const auto earlierOutput = debugOutput().size();
    {
        const common::win32::unique_hfile file(
            CreateFileW(joinPath(installFolder(), L"Events\\Old\\gone.evt").c_str(), GENERIC_READ,
                        FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        startUpdate();
        goToInstallPage();
        next_.click();
        EXPECT_TRUE(waitForPage(L"fraInsttalationFailed")) << narrow(visiblePages());
        screenshot(L"update-failed");
    }
    EXPECT_FALSE(next_.enabled());
    EXPECT_EQ(installedState(), before);
    const std::string traced = "OutputDebugStringA \"CreateFileW failed: error 32";
    EXPECT_TRUE(waitUntil([&] {
        return debugOutput().find(traced, earlierOutput) != std::string::npos;
    })) << "no trace line "
        << traced;
}

}  // namespace
}  // namespace update_e2e
