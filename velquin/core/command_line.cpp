#include "core/command_line.hpp"

#include "common/core/trace.hpp"

namespace velquin {
namespace {

int ResultCode(bool succeeded) { return succeeded ? kExitDone : kExitCommandFailed; }

int NotUnderstood(const std::vector<std::wstring>& args) {
    std::wstring line = L"Velquin: command line not understood:";
    for (std::size_t i = 1; i < args.size(); ++i) line += L" \"" + args[i] + L"\"";
    common::trace(line);
    return kExitBadCommandLine;
}

}  // namespace

int DispatchCommandLine(const std::vector<std::wstring>& args, ProgramCommands& commands) {
    if (args.size() <= 1) {
        commands.RunDialog();
        return kExitDone;
    }
    const std::wstring& option = args[1];
    if (option == L"/register") {
        if (args.size() < 3) return NotUnderstood(args);
        return ResultCode(commands.RegisterDriver(args[2]));
    }
    if (option == L"/unregister") return ResultCode(commands.UnregisterDriver());
    return NotUnderstood(args);
}

}  // namespace velquin
