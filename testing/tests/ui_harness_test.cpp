#include <gtest/gtest.h>

#include "ui_harness.hpp"

namespace {

using namespace ui_harness;

class HarnessTest : public ::testing::Test {
protected:
    void SetUp() override {
        app_.emplace(Process::start(windowsPathFromUnix(environmentVariable(L"SAMPLE_APP"))));
        window_ = app_->waitForWindow({.title = L"Harness Sample", .className = L"HarnessSample"});
    }
    Window control(int id) const { return findControl(window_, {.id = id}); }

    std::optional<Process> app_;
    Window window_;
};

TEST_F(HarnessTest, FindsControlsAndReadsTheirState) {
    const auto message = findControl(window_, {.text = L"&Message", .className = L"Button"});
    EXPECT_EQ(message.controlId(), 101);
    EXPECT_TRUE(message.enabled());
    EXPECT_TRUE(message.visible());
    EXPECT_EQ(findControls(window_, {.className = L"Button"}).size(), 3u);
    EXPECT_FALSE(tryFindControl(window_, {.text = L"&Missing"}));
    EXPECT_THROW(findControl(window_, {.id = 999}), HarnessError);
}

TEST_F(HarnessTest, TypesIntoAnEditAndSelectsListItems) {
    control(103).setText(L"typed text");
    EXPECT_EQ(control(103).text(), L"typed text");

    const auto list = control(105);
    EXPECT_EQ(list.items(), (std::vector<std::wstring>{L"alpha", L"beta", L"gamma"}));
    list.selectItem(L"beta");
    EXPECT_TRUE(waitForTitle(window_, L"selected:beta"));
    EXPECT_EQ(list.selectedIndex(), 1);
    EXPECT_THROW(list.selectItem(L"delta"), HarnessError);
}

TEST_F(HarnessTest, ReadsAndAnswersAMessageBox) {
    control(101).click();
    const auto box = waitForMessageBox(app_->id(), L"Sample caption");
    EXPECT_EQ(box.text, L"Sample question");
    EXPECT_EQ(box.buttons, (std::vector<std::wstring>{L"OK", L"Cancel"}));
    saveScreenshot(box.window, L"harness-message-box");
    box.press(L"Cancel");
    EXPECT_TRUE(waitForTitle(window_, L"answered:" + std::to_wstring(IDCANCEL)));
    EXPECT_FALSE(tryWaitForMessageBox(app_->id(), std::nullopt, Millis{200}));
}

TEST_F(HarnessTest, ChoosesAFileInTheOpenDialog) {
    TempFolder folder(L"harness");
    const auto driver = folder / L"my driver.sys";
    writeFile(driver, "driver");
    for (const int button : {102, 104}) {
        SCOPED_TRACE(button == 102 ? "UTF-16 dialog" : "ANSI dialog");
        control(103).setText(L"");
        control(button).click();
        chooseFileInOpenDialog(app_->id(), driver);
        EXPECT_TRUE(waitUntil([&] { return control(103).text() == driver; }))
            << narrow(control(103).text());
    }
}

TEST_F(HarnessTest, ReportsTheExitCodeAndScreenshotsTheWindow) {
    const auto file = saveScreenshot(window_, L"harness-sample");
    const auto bmp = readFile(file);
    ASSERT_GT(bmp.size(), 54u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_FALSE(app_->waitForExit(Millis{100}));
    window_.close();
    EXPECT_EQ(app_->waitForExit(), DWORD{7});
}

TEST(HarnessPaths, ConvertsUnixPathsAndJoins) {
    EXPECT_EQ(windowsPathFromUnix(L"/work/main/build"), L"Z:\\work\\main\\build");
    EXPECT_EQ(windowsPathFromUnix(L"C:\\already"), L"C:\\already");
    EXPECT_EQ(joinPath(L"C:\\a\\", L"b"), L"C:\\a\\b");
    EXPECT_EQ(joinPath(L"C:\\a", L"b"), L"C:\\a\\b");
}

TEST(HarnessFiles, SnapshotsTreesWithEmptyFolders) {
    TempFolder folder(L"harness");
    writeFile(folder / L"a\\b.txt", std::string("x\0y", 3));
    createFolders(folder / L"empty");
    const TreeSnapshot expected{
        {L"a\\", ""}, {L"a\\b.txt", std::string("x\0y", 3)}, {L"empty\\", ""}};
    EXPECT_EQ(snapshotTree(folder.path()), expected);
}

TEST(HarnessRegistry, WritesReadsAndDeletesKeys) {
    const std::wstring path = L"SOFTWARE\\HarnessTest";
    {
        const auto key = RegKey::create(HKEY_CURRENT_USER, path);
        key.setString(L"Name", L"value");
        key.setRaw(L"Raw", REG_BINARY, std::string("\x01\x00", 2));
        EXPECT_EQ(key.readString(L"Name"), L"value");
        EXPECT_EQ(key.readString(L"Raw"), std::nullopt);
        EXPECT_EQ(key.values().size(), 2u);
    }
    RegKey::deleteTree(HKEY_CURRENT_USER, path);
    EXPECT_FALSE(RegKey::open(HKEY_CURRENT_USER, path));
}

}  // namespace
