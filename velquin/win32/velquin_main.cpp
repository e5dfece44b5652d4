// Entry: the main dialog without arguments, or one unattended command.
#include "command_line.hpp"
#include "main_dialog.hpp"
#include "resource_ids.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <vector>

namespace {

// DLLs are then loaded from System32 only, never from beside the program or
// the current directory. Looked up at run time: older systems lack the call.
void RestrictDllSearchToSystem32() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    if (!kernel32) return;
    auto setDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "SetDefaultDllDirectories")));
    if (setDirectories) setDirectories(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
}

class LocalArgv {
public:
    LocalArgv() : argv_(CommandLineToArgvW(GetCommandLineW(), &count_)) {}
    LocalArgv(const LocalArgv&) = delete;
    LocalArgv& operator=(const LocalArgv&) = delete;
    ~LocalArgv() { LocalFree(argv_); }
    std::vector<std::wstring> Arguments() const {
        if (!argv_) return {};
        return std::vector<std::wstring>(argv_, argv_ + count_);
    }

private:
    int count_ = 0;
    LPWSTR* argv_;
};

class WindowsCommands final : public velquin::ProgramCommands {
public:
    explicit WindowsCommands(HINSTANCE instance) : instance_(instance) {}
    void RunDialog() override {
        DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_MAIN), nullptr, velquin::win32::MainDlgProc,
                        0);
    }
    bool RegisterDriver(const std::wstring& path) override {
        return velquin::win32::RegisterDriverFromCommandLine(path.c_str());
    }
    bool UnregisterDriver() override { return velquin::win32::UnregisterDriverFromCommandLine(); }

private:
    HINSTANCE instance_;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    RestrictDllSearchToSystem32();
    const LocalArgv argv;
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);
    WindowsCommands commands(instance);
    return velquin::DispatchCommandLine(argv.Arguments(), commands);
}
