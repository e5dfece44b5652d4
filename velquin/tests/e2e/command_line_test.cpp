// Velquin.exe unattended: /register and /unregister against the real service
// database and device properties of the Wine prefix.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_support.hpp"

namespace velquin_e2e {
namespace {

using namespace std::string_literals;

class CommandLine : public testing::Test {
protected:
    void SetUp() override {
        deleteFilterService();
        removeAllComPortDevices();
    }

    // Runs the command and insists that it ended by itself without a window.
    DWORD run(const std::vector<std::wstring>& arguments,
              const std::wstring& workingDirectory = {}) {
        const CommandOutcome outcome = runVelquin(arguments, workingDirectory);
        EXPECT_FALSE(outcome.showedWindow) << "a window appeared";
        if (!outcome.exitCode) ADD_FAILURE() << "Velquin did not end within 30 s";
        return outcome.exitCode.value_or(~0u);
    }

    ui_harness::TempFolder folder{L"velquin-cli"};
};

TEST_F(CommandLine, RegisterStoresTheAbsolutePathAndAMisspeltOneDoesNothing) {
    makeDummyDriverFile(folder / L"drivers\\kelPortHi.sys");

    EXPECT_EQ(run({L"/REGISTER", L"drivers\\kelPortHi.sys"}, folder.path()), 2u);
    EXPECT_FALSE(filterServiceExists());

    EXPECT_EQ(run({L"/register", L"drivers\\kelPortHi.sys"}, folder.path()), 0u);
    const auto settings = readFilterServiceSettings();
    ASSERT_TRUE(settings) << "no service kelPortHi";
    EXPECT_EQ(settings->imagePath, folder / L"drivers\\kelPortHi.sys");
}

TEST_F(CommandLine, UnregisterTakesOurEntryInAnyCaseOffEveryDeviceAndDeletesTheService) {
    registerFilterService(makeDummyDriverFile(folder / L"kelPortHi.sys"));
    addFakePort({L"ROOT\\VELQUINTEST\\0001", L"Attached Port (COM5)"});
    addFakePort({L"ROOT\\VELQUINTEST\\0002", L"Unplugged (COM6)", false});
    addFakePort({L"ROOT\\VELQUINTEST\\0003", L"Plain Port (COM7)"});
    writeUpperFilters(L"ROOT\\VELQUINTEST\\0001", "kelPortHi\0serenum\0\0"s);
    // Longer than the 512 bytes Configure edits: read and written whole.
    const std::string longEntry(600, 'b');
    writeUpperFilters(L"ROOT\\VELQUINTEST\\0002", "a\0KELPORTHI\0"s + longEntry + "\0\0"s);

    EXPECT_EQ(run({L"/unregister", L"ignored"}), 0u);

    EXPECT_FALSE(filterServiceExists());
    EXPECT_EQ(readUpperFilters(L"ROOT\\VELQUINTEST\\0001"), "serenum\0\0"s);
    EXPECT_EQ(readUpperFilters(L"ROOT\\VELQUINTEST\\0002"), "a\0"s + longEntry + "\0\0"s);
    EXPECT_EQ(readUpperFilters(L"ROOT\\VELQUINTEST\\0003"), std::nullopt)
        << "a value was made where none was";
}

}  // namespace
}  // namespace velquin_e2e
