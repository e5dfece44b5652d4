// Entry: the main dialog without arguments, or one unattended command.
#include "common/core/trace.hpp"
#include "common/win32/dll_search.hpp"
#include "common/win32/failed_call.hpp"
#include "common/win32/unique_any.hpp"
#include "core/command_line.hpp"
#include "core/upper_filters.hpp"
#include "win32/file_system.hpp"
#include "win32/ui/main_dialog.hpp"
#include "win32/serial_ports.hpp"
#include "win32/service_manager.hpp"
#include "win32/setupapi_devices.hpp"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

using namespace velquin;

// Split by CommandLineToArgvW, not by the runtime: the two part ways on
// doubled quotes inside quotes and on the program's own name.
std::vector<std::wstring> commandLineArguments() {
    int count = 0;
    LPWSTR* const arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments) {
        common::trace(FAILED_CALL(CommandLineToArgvW));
        return {};
    }
    const common::win32::UniqueLocal owner(arguments);
    return std::vector<std::wstring>(arguments, arguments + count);
}

class WindowsCommands final : public ProgramCommands {
public:
    WindowsCommands(HINSTANCE instance, win32::ProgramLayers& layers)
        : instance_(instance), layers_(layers) {}

    void runDialog() override { win32::runMainDialog(instance_, layers_); }

    common::Result<> registerDriver(const std::wstring& path) override {
        return velquin::RegisterDriver(layers_.services, layers_.files, path);
    }

    // No dialog and no configured port: the status texts go nowhere and the
    // port guard finds nothing to probe.
    bool unregisterDriver() override {
        NoStatusLine silent;
        const std::wstring noPort;
        FilterContext filters{layers_.devices, layers_.ports, silent, noPort};
        return velquin::UnregisterDriver(layers_.services, filters);
    }

private:
    HINSTANCE instance_;
    win32::ProgramLayers& layers_;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    common::win32::restrictDllSearchToSystem32();
    const std::vector<std::wstring> arguments = commandLineArguments();
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES;
    if (!InitCommonControlsEx(&controls)) common::trace(FAILED_CALL(InitCommonControlsEx));

    win32::ScmServices services;
    win32::Win32Files files;
    win32::SetupApiDevices devices;
    win32::Win32SerialPorts ports;
    win32::ProgramLayers layers{services, files, devices, ports};
    WindowsCommands commands(instance, layers);
    return dispatchCommandLine(arguments, commands);
}
