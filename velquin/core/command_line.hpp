// What the program does for its command line, and the exit code it ends with.
#pragma once

#include "common/core/failure.hpp"

#include <string>
#include <vector>

namespace velquin {

enum ExitCode : int {
    ExitDone = 0,
    ExitCommandFailed = 1,
    ExitBadCommandLine = 2,
};

class ProgramCommands {
public:
    virtual ~ProgramCommands() = default;
    virtual void runDialog() = 0;
    virtual common::Result<> registerDriver(const std::wstring& driverPath) = 0;
    virtual bool unregisterDriver() = 0;
};

// args[0] is the program path. Options are matched exactly (case-sensitive);
// only the first argument is an option and extra arguments are ignored. A
// failed command's cause is traced.
int dispatchCommandLine(const std::vector<std::wstring>& args, ProgramCommands& commands);

}  // namespace velquin
