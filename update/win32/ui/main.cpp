#include <windows.h>

#include <commctrl.h>
#include <stdlib.h>

#include "common/core/trace.hpp"
#include "common/win32/ansi_text.hpp"
#include "common/win32/com.hpp"
#include "common/win32/dll_search.hpp"
#include "common/win32/failed_call.hpp"
#include "core/command_line.hpp"
#include "win32/install_service_pack.hpp"
#include "win32/md_read_registry.hpp"
#include "win32/run_log.hpp"
#include "win32/ui/frm_welcome.hpp"
#include "win32/ui/media_folder.hpp"
#include "win32/ui/message_loop.hpp"

namespace {

using namespace update;

// Loaded only after the search is restricted; the manifest picks version 6.
void initCommonControls() {
    using InitCommonControlsExFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    // Stays loaded for the process: the button and static classes live in it.
    HMODULE comctl = LoadLibraryA("comctl32.dll");
    if (!comctl) {
        // The system's own classes still serve, in their older look.
        common::trace(FAILED_CALL(LoadLibraryA));
        return;
    }
    const auto init = reinterpret_cast<InitCommonControlsExFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(comctl, "InitCommonControlsEx")));
    const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    if (init) init(&classes);
}

// Has the system refuse to follow, for this process, a junction that a user
// who is not an administrator made (RedirectionGuard), where the system
// offers it (Windows 11 and Windows Server 2022 with their updates): an
// elevated setup then never follows a user's link anywhere, also where a
// path is taken as given. Elsewhere the call is missing or refuses the
// policy, which is traced: the install step works through held handles
// regardless.
void refuseUsersJunctions() {
    // Declared here: the MinGW-w64 headers know neither the policy nor, for
    // Windows 7, the call (Windows 8 on).
    constexpr int processRedirectionTrustPolicy = 16;
    struct {
        DWORD flags;  // bit 0: EnforceRedirectionTrust
    } policy{1};
    using SetPolicy = BOOL(WINAPI*)(int policy, PVOID buffer, SIZE_T length);
    const auto SetProcessMitigationPolicy =
        reinterpret_cast<SetPolicy>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetProcessMitigationPolicy")));
    if (!SetProcessMitigationPolicy) {
        common::trace(FAILED_CALL(GetProcAddress).about(L"SetProcessMitigationPolicy"));
    } else if (!SetProcessMitigationPolicy(processRedirectionTrustPolicy, &policy, sizeof policy)) {
        common::trace(FAILED_CALL(SetProcessMitigationPolicy).about(L"redirection trust"));
    }
}

class WindowsActions final : public ProgramActions {
public:
    explicit WindowsActions(HINSTANCE instance) : instance_(instance) {}

    common::Result<> startLog(const std::wstring& path) override { return startRunLog(path); }

    void showMessage(const std::wstring& text, bool error) override {
        if (!MessageBoxW(nullptr, text.c_str(), L"Update",
                         MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION)))
            common::trace(FAILED_CALL(MessageBoxW));
    }

    RunEnd runWizard() override {
        initCommonControls();
        // The window thread stays in one apartment for its life: the pictures
        // are decoded by COM's imaging component. Without COM they stay empty.
        const auto com = common::win32::initializeCom();
        if (!com) common::trace(com.failure());
        frmWelcome wizard(instance_, media_);
        if (const auto opened = wizard.open(); !opened) {
            common::trace(opened.failure());
            return {1, L"the wizard's window could not be opened"};
        }
        const int code = forms::runMessageLoop();
        return {code, wizardOutcome(wizard.page())};
    }

    RunEnd runQuiet() override {
        // Nothing may escape: the run ends with its code, however it fails.
        try {
            const auto installPath = findInstallation({&GetInstalledVersion, &GetInstallPath, {}});
            if (!installPath) return {ExitDoesNotApply, quietOutcome(ExitDoesNotApply)};
            return InstallServicePack(media_, *installPath, nullptr);
        } catch (...) {
            common::traceCurrentException(L"Update /quiet");
            return {ExitInstallFailed, quietOutcome(ExitInstallFailed)};
        }
    }

private:
    HINSTANCE instance_;
    std::string media_ = runningProgramFolder();
};

}  // namespace

// The runtime has split the command line; this program has no other use for it.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // First, before anything loads a DLL.
    common::win32::restrictDllSearchToSystem32();
    refuseUsersJunctions();
    WindowsActions entry(instance);
    const int code = runProgram(std::vector<std::wstring>(__wargv, __wargv + __argc), entry);
    finishRunLog();
    return code;
}
