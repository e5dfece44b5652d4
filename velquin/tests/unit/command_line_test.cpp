#include <gtest/gtest.h>

#include "core/command_line.hpp"
#include "core/port_name.hpp"

#include <optional>

using namespace velquin;

namespace {

class RecordingCommands final : public ProgramCommands {
public:
    bool commandSucceeds = true;
    int dialogs = 0;
    int unregisters = 0;
    std::optional<std::wstring> registered;

    void RunDialog() override { ++dialogs; }
    bool RegisterDriver(const std::wstring& path) override {
        registered = path;
        return commandSucceeds;
    }
    bool UnregisterDriver() override {
        ++unregisters;
        return commandSucceeds;
    }
};

int run(RecordingCommands& c, std::vector<std::wstring> tail) {
    tail.insert(tail.begin(), L"C:\\tools\\Velquin.exe");
    return DispatchCommandLine(tail, c);
}

}  // namespace

TEST(CommandLine, NoArgumentsRunsTheDialog) {
    RecordingCommands c;
    EXPECT_EQ(DispatchCommandLine({L"Velquin.exe"}, c), kExitDone);
    EXPECT_EQ(DispatchCommandLine({}, c), kExitDone);
    EXPECT_EQ(c.dialogs, 2);
}

TEST(CommandLine, RegisterUsesTheFirstPathOnly) {
    RecordingCommands c;
    EXPECT_EQ(run(c, {L"/register", L"a.sys", L"b.sys"}), kExitDone);
    EXPECT_EQ(c.registered, L"a.sys");
    c.commandSucceeds = false;
    EXPECT_EQ(run(c, {L"/register", L"a.sys"}), kExitCommandFailed);
    EXPECT_EQ(c.dialogs, 0);
}

TEST(CommandLine, UnregisterIgnoresExtraArguments) {
    RecordingCommands c;
    EXPECT_EQ(run(c, {L"/unregister", L"extra"}), kExitDone);
    c.commandSucceeds = false;
    EXPECT_EQ(run(c, {L"/unregister"}), kExitCommandFailed);
    EXPECT_EQ(c.unregisters, 2);
}

TEST(CommandLine, NotUnderstoodDoesNothing) {
    RecordingCommands c;
    for (const auto& args : std::vector<std::vector<std::wstring>>{
             {L"/register"}, {L"/REGISTER", L"a.sys"}, {L"/Unregister"}, {L"/?"}, {L"register"}}) {
        EXPECT_EQ(run(c, args), kExitBadCommandLine);
    }
    EXPECT_EQ(c.dialogs, 0);
    EXPECT_EQ(c.unregisters, 0);
    EXPECT_FALSE(c.registered);
}

TEST(PortName, TakenFromBetweenTheParentheses) {
    EXPECT_EQ(PortNameFromFriendlyName(L"USB Serial Port (COM3)"), L"COM3");
    EXPECT_EQ(PortNameFromFriendlyName(L"Port (COM12"), L"COM12");
    EXPECT_EQ(PortNameFromFriendlyName(L"A (B) (COM4)"), L"B");
}

TEST(PortName, NoneWithoutANameOrWhenTooLong) {
    EXPECT_FALSE(PortNameFromFriendlyName(L"Serial Port"));
    EXPECT_FALSE(PortNameFromFriendlyName(L"Serial Port ("));
    EXPECT_FALSE(PortNameFromFriendlyName(L""));
    EXPECT_FALSE(PortNameFromFriendlyName(L"Odd ()"));
    const std::wstring longest(kMaxPortNameLength, L'C');
    EXPECT_EQ(PortNameFromFriendlyName(L"P (" + longest + L")"), longest);
    EXPECT_FALSE(PortNameFromFriendlyName(L"P (" + longest + L"C)"));
}
