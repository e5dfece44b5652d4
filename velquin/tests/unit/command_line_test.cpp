#include <gtest/gtest.h>

#include "core/command_line.hpp"
#include "core/port_name.hpp"

#include <optional>

using namespace velquin;

namespace {

class CommandsSpy final : public ProgramCommands {
public:
    bool succeeds = true;
    std::wstring ran;  // what was run, e.g. L"register a.sys"

    void runDialog() override { ran += L"dialog"; }
    common::Result<> registerDriver(const std::wstring& path) override {
        ran += L"register " + path;
        if (succeeds) return {};
        return common::win32Failure(L"CreateServiceW", 5);
    }
    bool unregisterDriver() override {
        ran += L"unregister";
        return succeeds;
    }
};

}  // namespace

TEST(CommandLine, EachArgumentListRunsOneCommandOrNothing) {
    const std::wstring exe = L"C:\\tools\\Velquin.exe";
    struct Case {
        std::vector<std::wstring> args;
        bool succeeds;
        int exitCode;
        std::wstring ran;
    } cases[] = {
        {{}, true, ExitDone, L"dialog"},
        {{exe}, true, ExitDone, L"dialog"},
        {{exe, L"/register", L"a.sys", L"b.sys"}, true, ExitDone, L"register a.sys"},
        {{exe, L"/register", L"a.sys"}, false, ExitCommandFailed, L"register a.sys"},
        {{exe, L"/unregister", L"extra"}, true, ExitDone, L"unregister"},
        {{exe, L"/unregister"}, false, ExitCommandFailed, L"unregister"},
        {{exe, L"/register"}, true, ExitBadCommandLine, L""},
        {{exe, L"/REGISTER", L"a.sys"}, true, ExitBadCommandLine, L""},
        {{exe, L"/Unregister"}, true, ExitBadCommandLine, L""},
        {{exe, L"/?"}, true, ExitBadCommandLine, L""},
        {{exe, L"register", L"a.sys"}, true, ExitBadCommandLine, L""},
    };
    for (const auto& c : cases) {
        CommandsSpy commands;
        commands.succeeds = c.succeeds;
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_EQ(dispatchCommandLine(c.args, commands), c.exitCode);
        EXPECT_EQ(commands.ran, c.ran);
    }
}

TEST(PortName, TakenFromBetweenTheParenthesesWhenItFits) {
    const std::wstring longest(maxPortNameLength, L'C');
    const std::pair<std::wstring, std::optional<std::wstring>> cases[] = {
        {L"USB Serial Port (COM3)", L"COM3"},
        {L"Port (COM12", L"COM12"},
        {L"A (B) (COM4)", L"B"},
        {L"P (" + longest + L")", longest},
        {L"P (" + longest + L"C)", std::nullopt},
        {L"Serial Port", std::nullopt},
        {L"Serial Port (", std::nullopt},
        {L"Odd ()", std::nullopt},
        {L"", std::nullopt},
    };
    for (const auto& [friendlyName, port] : cases)
        EXPECT_EQ(portNameFromFriendlyName(friendlyName), port)
            << testing::PrintToString(friendlyName);
}
