// What Update does for its command line, and the exit codes it ends with.
#pragma once

#include "common/core/failure.hpp"
#include "core/wizard.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace update {

// Windows Installer's own codes, which deployment tools already know.
enum ExitCode : int {
    ExitSuccess = 0,
    ExitInstallFailed = 1603,
    ExitAnotherSetupRunning = 1618,  // nothing changed; tools retry it by themselves
    ExitPackInvalid = 1620,  // the media do not hold the pack the program records; nothing changed
    ExitLogNotCreated = 1622,
    ExitBadCommandLine = 1639,
    ExitDoesNotApply = 1642,  // no product record, or the version rule refuses the pack
};

// How a run ended: its exit code, and in words for the log.
struct RunEnd {
    int exitCode;
    std::wstring outcome;
};

// What the entry does on the platform.
class ProgramActions {
public:
    virtual ~ProgramActions() = default;
    // Sends the trace to the file as well, from now on.
    virtual common::Result<> startLog(const std::wstring& path) = 0;
    // A message box captioned "Update".
    virtual void showMessage(const std::wstring& text, bool error) = 0;
    virtual RunEnd runWizard() = 0;
    // The wizard's checks and install step, with no window at all.
    virtual RunEnd runQuiet() = 0;
};

// args[0] is the program path. Switches are matched without regard to case,
// in any order: /quiet, /log FILE, and /? alone. A command line that is not
// understood does nothing: it shows the usage, unless it asked for quiet.
// A log that cannot be made stops the run before it does anything.
int runProgram(const std::vector<std::wstring>& args, ProgramActions& actions);

// The outcome of a quiet run that ended with the code, after completing
// runs cut off earlier or not.
std::wstring quietOutcome(int exitCode, bool completedEarlierRuns = false);
// The outcome of a wizard that was closed on the page.
std::wstring wizardOutcome(Page page);

// The last line of a run's trace, and of its log.
void traceOutcome(std::wstring_view outcome, int exitCode);

}  // namespace update
