// Velquin.exe unattended: /register and /unregister against the real service
// database and device properties of the Wine prefix.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_support.hpp"

namespace velquin_e2e {
namespace {

using namespace std::string_literals;

constexpr DWORD kExitDone = 0;
constexpr DWORD kExitFailed = 1;
constexpr DWORD kExitUsage = 2;

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

TEST_F(CommandLine, RegisterCreatesDemandStartKernelServiceWithAbsolutePath) {
    ui_harness::createFolders(folder / L"drivers");
    makeDummyDriverFile(folder, L"drivers\\kelPortHi.sys");

    EXPECT_EQ(run({L"/register", L"drivers\\kelPortHi.sys"}, folder.path()), kExitDone);

    const auto settings = readFilterServiceSettings();
    ASSERT_TRUE(settings) << "no service kelPortHi";
    EXPECT_EQ(settings->type, 1u);
    EXPECT_EQ(settings->start, 3u);
    EXPECT_EQ(settings->errorControl, 0u);
    EXPECT_EQ(settings->displayName, L"KelPortHi filter driver");
    EXPECT_EQ(settings->imagePath, folder / L"drivers\\kelPortHi.sys");
}

TEST_F(CommandLine, RegisterAgainReplacesTheImagePath) {
    const std::wstring first = makeDummyDriverFile(folder, L"first.sys");
    const std::wstring second = makeDummyDriverFile(folder, L"second.sys");

    EXPECT_EQ(run({L"/register", first}), kExitDone);
    // Re-created instead of changed in place, the service would lose this.
    markFilterService();
    EXPECT_EQ(run({L"/register", second}), kExitDone);

    const auto settings = readFilterServiceSettings();
    ASSERT_TRUE(settings) << "no service kelPortHi";
    EXPECT_EQ(settings->imagePath, second);
    EXPECT_EQ(settings->start, 3u);
    EXPECT_TRUE(filterServiceIsMarked()) << "the service was deleted and created again";
}

TEST_F(CommandLine, RegisterOfAMissingFileFailsAndCreatesNoService) {
    EXPECT_EQ(run({L"/register", folder / L"absent.sys"}), kExitFailed);
    EXPECT_FALSE(filterServiceExists());
}

TEST_F(CommandLine, IncompleteOrUnknownCommandsChangeNothing) {
    const std::wstring registered = makeDummyDriverFile(folder, L"kelPortHi.sys");
    const std::wstring other = makeDummyDriverFile(folder, L"other.sys");
    registerFilterService(registered);
    addFakePort({L"ROOT\\VELQUINTEST\\0001", L"Attached Port (COM5)"});
    const std::string filters = "kelPortHi\0\0"s;
    writeUpperFilters(L"ROOT\\VELQUINTEST\\0001", filters);

    EXPECT_EQ(run({L"/register"}), kExitUsage);
    EXPECT_EQ(run({L"/REGISTER", other}), kExitUsage) << "options are case-sensitive";
    EXPECT_EQ(run({L"/help"}), kExitUsage);
    EXPECT_EQ(run({L"/Unregister"}), kExitUsage);

    const auto settings = readFilterServiceSettings();
    ASSERT_TRUE(settings) << "the service was removed";
    EXPECT_EQ(settings->imagePath, registered);
    EXPECT_EQ(readUpperFilters(L"ROOT\\VELQUINTEST\\0001"), filters);
}

TEST_F(CommandLine, UnregisterWithoutAttachedDevicesDeletesTheService) {
    registerFilterService(makeDummyDriverFile(folder, L"kelPortHi.sys"));
    addFakePort({L"ROOT\\VELQUINTEST\\0001", L"Plain Port (COM5)"});

    EXPECT_EQ(run({L"/unregister"}), kExitDone);

    EXPECT_FALSE(filterServiceExists());
    EXPECT_EQ(readUpperFilters(L"ROOT\\VELQUINTEST\\0001"), std::nullopt)
        << "a value was made where none was";
}

TEST_F(CommandLine, UnregisterTakesOnlyOurEntriesOffEveryDevice) {
    registerFilterService(makeDummyDriverFile(folder, L"kelPortHi.sys"));
    struct Device {
        FakePort port;
        std::string before;
        std::vector<std::string> after;
    };
    const std::vector<Device> devices = {
        {{L"ROOT\\VELQUINTEST\\0001", L"Only Ours (COM5)"}, "kelPortHi\0\0"s, {}},
        {{L"ROOT\\VELQUINTEST\\0002", L"Ours First (COM6)"},
         "kelPortHi\0serenum\0\0"s,
         {"serenum"}},
        {{L"ROOT\\VELQUINTEST\\0003", L"Ours Between (COM7)"}, "a\0kelPortHi\0b\0\0"s, {"a", "b"}},
        {{L"ROOT\\VELQUINTEST\\0004", L"Unplugged (COM8)", false},
         "serenum\0kelPortHi\0\0"s,
         {"serenum"}},
        {{L"ROOT\\VELQUINTEST\\0005", L"Foreign (COM10)"}, "kelPortHiX\0\0"s, {"kelPortHiX"}},
        {{L"ROOT\\VELQUINTEST\\0006", L"Long Path (COM11)", true, std::wstring(100, L'r')},
         "kelPortHi\0\0"s,
         {}},
    };
    for (const auto& device : devices) {
        addFakePort(device.port);
        writeUpperFilters(device.port.instanceId, device.before);
    }

    EXPECT_EQ(run({L"/unregister", L"ignored"}), kExitDone);

    EXPECT_FALSE(filterServiceExists());
    for (const auto& device : devices) {
        const auto value = readUpperFilters(device.port.instanceId);
        EXPECT_EQ(multiStringEntries(value.value_or("")), device.after)
            << ui_harness::narrow(device.port.friendlyName);
    }
    EXPECT_EQ(readUpperFilters(L"ROOT\\VELQUINTEST\\0005"), "kelPortHiX\0\0"s)
        << "a foreign filter was rewritten";
}

TEST_F(CommandLine, UnregisterLeavesALongForeignListAsItWasAndStillDeletesTheService) {
    registerFilterService(makeDummyDriverFile(folder, L"kelPortHi.sys"));
    addFakePort({L"ROOT\\VELQUINTEST\\0001", L"Long List (COM5)", false});
    addFakePort({L"ROOT\\VELQUINTEST\\0002", L"Attached Port (COM6)"});
    const std::string foreign = std::string(300, 'a') + '\0' + std::string(301, 'b') + "\0\0"s;
    ASSERT_EQ(foreign.size(), 604u);
    writeUpperFilters(L"ROOT\\VELQUINTEST\\0001", foreign);
    writeUpperFilters(L"ROOT\\VELQUINTEST\\0002", "serenum\0kelPortHi\0\0"s);

    EXPECT_EQ(run({L"/unregister"}), kExitDone);

    EXPECT_FALSE(filterServiceExists());
    EXPECT_EQ(readUpperFilters(L"ROOT\\VELQUINTEST\\0001"), foreign);
    EXPECT_EQ(readUpperFilters(L"ROOT\\VELQUINTEST\\0002"), "serenum\0\0"s);
}

}  // namespace
}  // namespace velquin_e2e
