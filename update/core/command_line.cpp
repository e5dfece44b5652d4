#include "core/command_line.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"

namespace update {
namespace {

// Short lines: the message box wraps long ones where it likes.
constexpr wchar_t usageText[] =
    L"Update.exe\n\tthe setup wizard\n"
    L"Update.exe /quiet [/log FILE]\n\tinstalls with no window or message\n"
    L"Update.exe /log FILE\n\tthe setup wizard, with a log\n"
    L"Update.exe /?\n\tshows this text\n\n"
    L"/log appends a log of the run to FILE.\n"
    L"Switches may come in any order and case.\n\n"
    L"A quiet run ends with:\n"
    L"0\tinstalled\n"
    L"1603\tthe install failed\n"
    L"1618\tanother setup is at work; retry\n"
    L"1620\tthe media are damaged\n"
    L"1642\tthe pack does not apply here\n"
    L"1639\tthe command line is not valid\n"
    L"1622\tthe log file cannot be created";

struct CommandLine {
    bool understood = true;
    bool quiet = false;  // also when not understood: nothing may then show
    bool usage = false;
    std::wstring logFile;
};

// The switches are ASCII: only A to Z are folded, every other character
// must match as it is.
bool isSwitch(std::wstring_view arg, std::wstring_view lowerCaseName) {
    if (arg.size() != lowerCaseName.size()) return false;
    for (std::size_t i = 0; i < arg.size(); ++i) {
        const wchar_t c = arg[i] >= L'A' && arg[i] <= L'Z' ? arg[i] - L'A' + L'a' : arg[i];
        if (c != lowerCaseName[i]) return false;
    }
    return true;
}

// Every argument is looked at, also after one was not understood, so that
// a quiet run shows nothing whatever else its command line holds. A file
// name never begins with a slash: "/log /quiet" lacks its file.
CommandLine parse(const std::vector<std::wstring>& args) {
    CommandLine line;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        const bool fileFollows =
            i + 1 < args.size() && !args[i + 1].empty() && args[i + 1].front() != L'/';
        if (isSwitch(arg, L"/quiet") && !line.quiet) {
            line.quiet = true;
        } else if (isSwitch(arg, L"/log") && line.logFile.empty() && fileFollows) {
            line.logFile = args[++i];
        } else if (arg == L"/?" && args.size() == 2) {
            line.usage = true;
        } else {
            line.understood = false;
        }
    }
    return line;
}

std::wstring argumentsText(const std::vector<std::wstring>& args) {
    std::wstring text;
    for (std::size_t i = 1; i < args.size(); ++i) text += common::concat({L" \"", args[i], L"\""});
    return text;
}

}  // namespace

int runProgram(const std::vector<std::wstring>& args, ProgramActions& actions) {
    const CommandLine line = parse(args);
    if (!line.understood) {
        common::trace(
            common::concat({L"Update: command line not understood:", argumentsText(args)}));
        if (!line.quiet)
            actions.showMessage(std::wstring(L"The command line is not valid.\n\n") + usageText,
                                true);
        return ExitBadCommandLine;
    }
    if (line.usage) {
        actions.showMessage(usageText, false);
        return ExitSuccess;
    }
    if (!line.logFile.empty()) {
        if (const auto started = actions.startLog(line.logFile); !started) {
            common::trace(started.failure());
            if (!line.quiet)
                actions.showMessage(
                    L"The log file cannot be created.\n\n" + started.failure().text(), true);
            return ExitLogNotCreated;
        }
    }
    common::trace(common::concat({L"Update of Orvexa Service Pack " SERVICE_PACK_VERSION " starts:",
                                  args.empty() ? L"" : common::concat({L" \"", args[0], L"\""}),
                                  argumentsText(args)}));
    const RunEnd end = line.quiet ? actions.runQuiet() : actions.runWizard();
    traceOutcome(end.outcome, end.exitCode);
    return end.exitCode;
}

std::wstring quietOutcome(int exitCode, bool completedEarlierRuns) {
    // Completing them may have recorded a version.
    const wchar_t* const unchanged =
        completedEarlierRuns ? L"; an interrupted run was completed first" : L"; nothing changed";
    switch (exitCode) {
        case ExitSuccess:
            return L"installed";
        case ExitAnotherSetupRunning:
            return L"another setup holds the installation; nothing changed";
        case ExitDoesNotApply:
            return common::concat({L"the service pack does not apply", unchanged});
        case ExitPackInvalid:
            return common::concat({L"the media do not hold the service pack", unchanged});
        default:
            return L"the service pack was not installed";
    }
}

std::wstring wizardOutcome(Page page) {
    constexpr const wchar_t* pageNames[] = {L"welcome", L"ready-to-install", L"success",
                                            L"product-not-found", L"installation-failed"};
    return common::concat(
        {L"the wizard was closed on its ", pageNames[static_cast<int>(page)], L" page"});
}

void traceOutcome(std::wstring_view outcome, int exitCode) {
    common::trace(common::concat({L"Update: outcome: ", outcome, L"; exit code ",
                                  common::numberText(static_cast<std::uint32_t>(exitCode))}));
}

}  // namespace update
