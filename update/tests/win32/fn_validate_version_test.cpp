// The version check against the prefix's registry, with the message box replaced.
#include "win32/fn_validate_version.hpp"

#include "tests/win32/test_support.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace testing_support;

struct ShownBox {
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
};
std::vector<ShownBox> shownBoxes;

int WINAPI recordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    shownBoxes.push_back({owner, text, caption, style});
    return IDOK;
}

class VersionCheck : public ::testing::Test {
protected:
    void SetUp() override {
        deleteRecord();
        shownBoxes.clear();
        saved_ = update::showRefusalMessage;
        update::showRefusalMessage = &recordBox;
    }
    void TearDown() override {
        update::showRefusalMessage = saved_;
        deleteRecord();
    }

    const HWND owner = reinterpret_cast<HWND>(0x1234);

private:
    update::MessageBoxFunction saved_ = nullptr;
};

TEST_F(VersionCheck, AllowedVersionsShowNothing) {
    EXPECT_TRUE(update::fnValidateVersion("1.8.2", owner));  // nothing installed
    putRecordValue("Version", "1.9.0");
    EXPECT_TRUE(update::fnValidateVersion("1.9.0", owner));
    EXPECT_TRUE(update::fnValidateVersion("1.10.0", owner));
    EXPECT_TRUE(shownBoxes.empty());
}

TEST_F(VersionCheck, RefusalIsShownAsAnErrorBoxCaptionedUpdate) {
    EXPECT_FALSE(update::fnValidateVersion("1.8.1", owner));
    ASSERT_EQ(shownBoxes.size(), 1u);
    EXPECT_EQ(shownBoxes[0].owner, owner);
    EXPECT_EQ(shownBoxes[0].text, "This version cannot be installed in this system");
    EXPECT_EQ(shownBoxes[0].caption, "Update");
    EXPECT_EQ(shownBoxes[0].style, UINT(MB_ICONERROR | MB_OK));
}

TEST_F(VersionCheck, InstalledVersionIsReadAtEveryCall) {
    EXPECT_TRUE(update::fnValidateVersion("1.9.1", owner));
    putRecordValue("Version", "1.9.2");
    EXPECT_FALSE(update::fnValidateVersion("1.9.1", owner));
    ASSERT_EQ(shownBoxes.size(), 1u);
    EXPECT_EQ(shownBoxes[0].text,
              "This Orvexa version(1.9.1) is older than the existing version(1.9.2)\r\n"
              "                Cannot Install. Contact Administrator");
}

TEST_F(VersionCheck, UnevaluableVersionIsRefusedSilently) {
    putRecordValue("Version", "1.9.0");
    EXPECT_FALSE(update::fnValidateVersion("1.9", owner));
    EXPECT_TRUE(shownBoxes.empty());
}

}  // namespace
