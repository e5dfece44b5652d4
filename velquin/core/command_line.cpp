#include "command_line.hpp"

namespace velquin {
namespace {

int ResultCode(bool succeeded) { return succeeded ? kExitDone : kExitCommandFailed; }

}  // namespace

int DispatchCommandLine(const std::vector<std::wstring>& args, ProgramCommands& commands) {
    if (args.size() <= 1) {
        commands.RunDialog();
        return kExitDone;
    }
    const std::wstring& option = args[1];
    if (option == L"/register") {
        if (args.size() < 3) return kExitBadCommandLine;
        return ResultCode(commands.RegisterDriver(args[2]));
    }
    if (option == L"/unregister") return ResultCode(commands.UnregisterDriver());
    return kExitBadCommandLine;
}

}  // namespace velquin
