#include "core/command_line.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"

namespace velquin {
namespace {

int exitCodeOf(bool succeeded) { return succeeded ? ExitDone : ExitCommandFailed; }

int exitCodeOf(const common::Result<>& done) {
    if (!done) common::trace(done.failure());
    return exitCodeOf(static_cast<bool>(done));
}

int notUnderstood(const std::vector<std::wstring>& args) {
    std::wstring line = L"Velquin: command line not understood:";
    for (std::size_t i = 1; i < args.size(); ++i) line += common::concat({L" \"", args[i], L"\""});
    common::trace(line);
    return ExitBadCommandLine;
}

}  // namespace

int dispatchCommandLine(const std::vector<std::wstring>& args, ProgramCommands& commands) {
    if (args.size() <= 1) {
        commands.runDialog();
        return ExitDone;
    }
    const std::wstring& option = args[1];
    if (option == L"/register") {
        if (args.size() < 3) return notUnderstood(args);
        return exitCodeOf(commands.registerDriver(args[2]));
    }
    if (option == L"/unregister") return exitCodeOf(commands.unregisterDriver());
    return notUnderstood(args);
}

}  // namespace velquin
