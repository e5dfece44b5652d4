// Velquin.exe as a dialog: its device list, the four commands with their
// message boxes and status texts, and what they leave in the service database
// and the device properties.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_support.hpp"
#include "win32/ui/resource_ids.h"

namespace velquin_e2e {
namespace {

using namespace std::string_literals;
using namespace std::chrono_literals;
using ui_harness::Window;

const std::wstring notInstalled = L"Please install the driver ";
const std::wstring filterNotLoaded =
    L"Driver has not loaded ,Pls try once again after unpluging and pluging the device";

class VelquinDialog : public testing::Test {
protected:
    void SetUp() override {
        deleteFilterService();
        removeAllComPortDevices();
    }

    void TearDown() override {
        if (!velquin_) return;
        if (dialog_.exists()) dialog_.close();
        EXPECT_TRUE(velquin_->waitForExit(10s)) << "Velquin did not end when its dialog was closed";
    }

    void start() {
        velquin_ = ui_harness::Process::start(velquinPath());
        dialog_ = velquin_->waitForWindow({.title = L"Velquin", .className = L"#32770"});
    }

    Window control(int id) const { return ui_harness::findControl(dialog_, {.id = id}); }
    std::wstring status() const { return control(IDC_STATUS).text(); }
    void select(const std::wstring& device) const { control(IDC_DEVICES).selectItem(device); }

    // For commands that answer in the status line: a message box would hold
    // the synchronous click until it times out.
    void press(int id) const { control(id).clickAndWait(); }

    // Clicks a command that answers with a message box, checks it and closes it.
    void pressExpectingBox(int id, const std::wstring& caption, const std::wstring& text) const {
        control(id).click();
        const auto box = ui_harness::waitForMessageBox(velquin_->id(), caption);
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.buttons, std::vector<std::wstring>{L"OK"});
        box.press(L"OK");
        EXPECT_TRUE(ui_harness::waitForGone(box.window));
    }

    void registerDummyDriver() { registerFilterService(makeDummyDriverFile(folder_ / L"k.sys")); }

    ui_harness::TempFolder folder_{L"velquin-dialog"};
    std::optional<ui_harness::Process> velquin_;
    Window dialog_;
};

// An empty list (the one device is unplugged) asks for a device to configure.
TEST_F(VelquinDialog, StartsQuietAndListsPresentPortsSorted) {
    registerDummyDriver();
    addFakePort({L"ROOT\\VELQUINTEST\\0003", L"Unplugged Port (COM6)", false});
    start();
    EXPECT_EQ(status(), L"");
    EXPECT_FALSE(control(IDC_TEST).enabled());
    for (int id : {IDC_INSTALL, IDC_CONFIGURE, IDC_REMOVE, IDC_REFRESH})
        EXPECT_TRUE(control(id).enabled()) << id;
    ASSERT_TRUE(control(IDC_DEVICES).items().empty());
    pressExpectingBox(IDC_CONFIGURE, L"Error", L"Please select a device");
    EXPECT_EQ(readUpperFilters(L"ROOT\\VELQUINTEST\\0003"), std::nullopt);

    addFakePort({L"ROOT\\VELQUINTEST\\0001", L"Zeta Port (COM12)"});
    addFakePort({L"ROOT\\VELQUINTEST\\0002", L"Alpha Port (COM5)"});
    // Longer than the walk's old fixed buffer could hold: listed like the rest.
    const std::wstring longPath = addFakePort(
        {L"ROOT\\VELQUINTEST\\0004", L"Bluetooth Link (COM7)", true, std::wstring(140, L'b')});
    ASSERT_GT(longPath.size(), 128u);
    press(IDC_REFRESH);
    EXPECT_EQ(control(IDC_DEVICES).items(),
              (std::vector<std::wstring>{L"Alpha Port (COM5)", L"Bluetooth Link (COM7)",
                                         L"Zeta Port (COM12)"}));
    EXPECT_EQ(control(IDC_DEVICES).selectedIndex(), 0);
    ui_harness::saveScreenshot(dialog_, L"velquin-dialog");

    addFakePort({L"ROOT\\VELQUINTEST\\0005", L"Beta Port (COM8)"});
    press(IDC_REFRESH);
    EXPECT_EQ(control(IDC_DEVICES).items().size(), 4u);
    EXPECT_EQ(control(IDC_DEVICES).items()[1], L"Beta Port (COM8)");
}

// Configure and Test refuse until the driver is installed, and again once
// Remove took it away while Test stayed enabled.
TEST_F(VelquinDialog, ConfigureAddsOurEntryAndEveryCommandNeedsTheDriver) {
    const std::wstring device = L"ROOT\\VELQUINTEST\\0001";
    addFakePort({device, L"Other Filter (COM6)"});
    writeUpperFilters(device, "serenum\0\0"s);
    start();
    pressExpectingBox(IDC_CONFIGURE, L"Error", notInstalled);
    EXPECT_EQ(readUpperFilters(device), "serenum\0\0"s);

    registerDummyDriver();
    press(IDC_CONFIGURE);
    EXPECT_EQ(status(), L"Driver installed for the device");
    EXPECT_EQ(readUpperFilters(device), "kelPortHi\0serenum\0\0"s);
    EXPECT_TRUE(control(IDC_TEST).enabled());
    press(IDC_REFRESH);
    EXPECT_FALSE(control(IDC_TEST).enabled());
    press(IDC_CONFIGURE);  // enables Test again for the refusal below

    press(IDC_REMOVE);
    EXPECT_EQ(status(), L"Successfully Removed Driver");
    EXPECT_EQ(readUpperFilters(device), "serenum\0\0"s);
    ASSERT_FALSE(filterServiceExists());
    ASSERT_TRUE(control(IDC_TEST).enabled());
    pressExpectingBox(IDC_TEST, L"Error", notInstalled);
    pressExpectingBox(IDC_CONFIGURE, L"Error", notInstalled);
}

TEST_F(VelquinDialog, TestReportsTheFilterMissingOnARealPortAndAPortThatIsNotThere) {
    registerDummyDriver();
    loadProbePortDriver();
    const std::wstring plainPort = L"Plain Port (COM" + std::to_wstring(refusingPortNumber) + L")";
    addFakePort({L"ROOT\\VELQUINTEST\\0001", plainPort});
    addFakePort({L"ROOT\\VELQUINTEST\\0002", L"Vanished Port (COM25)"});
    start();

    select(plainPort);
    press(IDC_CONFIGURE);
    pressExpectingBox(IDC_TEST, L"Error", filterNotLoaded);
    EXPECT_EQ(status(), L"Driver installed for the device") << "a port that opened is not reported";

    select(L"Vanished Port (COM25)");
    press(IDC_CONFIGURE);
    pressExpectingBox(IDC_TEST, L"Error", filterNotLoaded);
    EXPECT_EQ(status(), L"CreateFile on port COM25 failed");
}

TEST_F(VelquinDialog, AnsweringProbeMeansTheFilterIsLoadedAndBlocksRemoval) {
    loadProbePortDriver();
    registerDummyDriver();
    const std::wstring probePort = L"Probe Port (COM" + std::to_wstring(probePortNumber) + L")";
    addFakePort({L"ROOT\\VELQUINTEST\\0001", probePort});
    start();

    select(probePort);
    press(IDC_CONFIGURE);
    pressExpectingBox(IDC_TEST, L"Success", L"Driver has loaded successfully");

    press(IDC_REMOVE);
    EXPECT_EQ(status(), L"Try Again After Unplugging the Device");
    EXPECT_TRUE(filterServiceExists());
    EXPECT_EQ(readUpperFilters(L"ROOT\\VELQUINTEST\\0001"), "kelPortHi\0\0"s);
}

}  // namespace
}  // namespace velquin_e2e
