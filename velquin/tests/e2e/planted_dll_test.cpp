// Velquin.exe run from a folder that also holds a planted version.dll, as a
// download folder may: neither mode of the program loads it. The dialog
// installs a driver from a folder named outside the ANSI code page.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_support.hpp"
#include "win32/ui/resource_ids.h"

namespace velquin_e2e {
namespace {

using namespace std::chrono_literals;

TEST(PlantedDll, NeitherTheCommandLineNorTheDialogLoadsAVersionDllBesideTheProgram) {
    deleteFilterService();
    removeAllComPortDevices();
    addFakePort({L"ROOT\\VELQUINTEST\\0001", L"Plain Port (COM5)"});
    const ui_harness::TempFolder folder(L"velquin-planted");
    const std::wstring velquin = folder / L"Velquin.exe";
    ui_harness::copyFile(velquinPath(), velquin);
    const ui_harness::PlantedVersionDll planted(folder.path(), {L"Velquin.exe"});

    const std::wstring driver =
        makeDummyDriverFile(folder / L"\u0394\u03c1\u03b1\u03b9\u03b2\u03b5\u03c1\\kelPortHi.sys");
    for (const std::vector<std::wstring>& arguments :
         {std::vector<std::wstring>{L"/register", driver},
          std::vector<std::wstring>{L"/unregister"}}) {
        const auto run = ui_harness::Process::start(velquin, {.arguments = arguments});
        EXPECT_EQ(run.waitForExit(30s), DWORD{0}) << ui_harness::narrow(arguments.front());
    }

    // The dialog, its device list and the file dialog bring in the rest.
    const auto dialogRun = ui_harness::Process::start(velquin);
    const auto dialog = dialogRun.waitForWindow({.title = L"Velquin", .className = L"#32770"});
    ui_harness::findControl(dialog, {.id = IDC_INSTALL}).click();
    ui_harness::chooseFileInOpenDialog(dialogRun.id(), driver);
    const auto box = ui_harness::waitForMessageBox(dialogRun.id(), L"Success");
    EXPECT_EQ(box.text, L"Installed driver successfully");
    box.press(L"OK");
    dialog.close();
    EXPECT_TRUE(dialogRun.waitForExit(10s));
    // /unregister took away the service /register made: this one is the dialog's.
    EXPECT_EQ(readFilterServiceSettings().value().imagePath, driver);

    EXPECT_FALSE(planted.loaded()) << "Velquin.exe loaded the planted version.dll";
    EXPECT_TRUE(planted.foundByUnguardedProgram())
        << "the plant is not detected: the check above proves nothing";
}

}  // namespace
}  // namespace velquin_e2e
