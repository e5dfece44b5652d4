#include "win32/ui/main_dialog.hpp"

#include "common/core/trace.hpp"
#include "common/win32/failed_call.hpp"
#include "core/device_discovery.hpp"
#include "core/port_name.hpp"
#include "core/upper_filters.hpp"
#include "win32/ui/resource_ids.h"

#include <commdlg.h>

#include "common/win32/message_boundary.hpp"
#include "common/win32/unique_any.hpp"
#include "common/win32/window_dpi.hpp"

#include <string>
#include <utility>
#include <vector>

namespace velquin::win32 {
namespace {

// The dialog's state, all of it. The process runs one dialog at most, so its
// handlers share these rather than hang them on the window.

// Set at WM_INITDIALOG, never cleared; null in the command-line modes.
HWND MainDialog = nullptr;
// The port of the last successful Configure; empty until then.
std::wstring ConfiguredPort;
// The layers the entry built for the commands (WM_INITDIALOG's lParam).
ProgramLayers* programLayers = nullptr;
// The icon the icon static shows; the static does not own it.
common::win32::UniqueIcon programIcon;

void SetStatusText(const std::wstring& text) {
    if (MainDialog) SetWindowTextW(GetDlgItem(MainDialog, IDC_STATUS), text.c_str());
}

class DialogStatusLine final : public StatusLine {
public:
    void set(const std::wstring& text) override { SetStatusText(text); }
};

FilterContext filtersFor(StatusLine& status) {
    return FilterContext{programLayers->devices, programLayers->ports, status, ConfiguredPort};
}

void showError(const wchar_t* text) { MessageBoxW(MainDialog, text, L"Error", MB_ICONERROR); }
void showSuccess(const wchar_t* text) { MessageBoxW(MainDialog, text, L"Success", MB_OK); }

// The template's icon static is filled at the system's icon size; the icon
// has images of 16 to 48 and 256 pixels, so it is loaded at the size for the
// dialog's own DPI instead (32 pixels at 96), and again when that changes.
void showProgramIcon(HWND dialog, int dpi) {
    const int size = MulDiv(32, dpi, common::win32::defaultDpi);
    common::win32::UniqueIcon icon(static_cast<HICON>(LoadImageW(
        GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_VELQUIN), IMAGE_ICON, size, size, 0)));
    if (!icon) return common::trace(FAILED_CALL(LoadImageW));
    SendDlgItemMessageW(dialog, IDC_PROGRAM_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon.get()),
                        0);
    programIcon = std::move(icon);  // the static has let go of the one before
}

void enableTest(bool enable) { EnableWindow(GetDlgItem(MainDialog, IDC_TEST), enable); }

void RefreshDeviceList() {
    SetStatusText(L"");
    enableTest(false);
    const auto found = EnumerateSerialDevices(programLayers->devices);
    if (!found) {
        common::trace(found.failure());
        SetStatusText(walkErrorText(found.failure()));  // the list keeps its earlier lines
        return;
    }
    const HWND list = GetDlgItem(MainDialog, IDC_DEVICES);
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (const DeviceEntry& entry : *found) {
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.friendlyName.c_str()));
    }
    SendMessageW(list, CB_SETCURSEL, 0, 0);
}

// Text of the selected device, or nothing when no line is selected.
std::optional<std::wstring> selectedDevice() {
    const HWND list = GetDlgItem(MainDialog, IDC_DEVICES);
    const LRESULT index = SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return std::nullopt;
    const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR) return std::nullopt;
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    if (SendMessageW(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data())) == CB_ERR)
        return std::nullopt;
    text.resize(static_cast<std::size_t>(length));
    return text;
}

void onConfigure() {
    if (!IsDriverInstalled(programLayers->services))
        return showError(L"Please install the driver ");
    const auto device = selectedDevice();
    if (!device) return showError(L"Please select a device");
    enableTest(false);
    DialogStatusLine status;
    FilterContext filters = filtersFor(status);
    if (!ConfigureDevice(filters, *device)) return;
    enableTest(true);
    if (auto port = portNameFromFriendlyName(*device)) ConfiguredPort = std::move(*port);
}

void onTest() {
    if (!IsDriverInstalled(programLayers->services))
        return showError(L"Please install the driver ");
    if (ConfiguredPort.empty()) return showError(L"Please configure the device");
    DialogStatusLine status;
    if (TestPort(programLayers->ports, status, ConfiguredPort)) {
        showSuccess(L"Driver has loaded successfully");
    } else {
        showError(
            L"Driver has not loaded ,Pls try once again after unpluging and pluging the device");
    }
}

std::optional<std::wstring> askForDriverFile() {
    std::vector<wchar_t> fileName(32768, L'\0');
    std::vector<wchar_t> directory(32768, L'\0');
    GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), directory.data());
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.lpstrFilter = L"Driver file\0*.sys\0";
    ofn.lpstrFile = fileName.data();
    ofn.nMaxFile = static_cast<DWORD>(fileName.size());
    ofn.lpstrInitialDir = directory.data();
    ofn.lpstrTitle = L"Select the kelPortHi sys file";
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    if (!GetOpenFileNameW(&ofn)) {
        // Zero when the user cancelled; anything else is a failure of the dialog.
        if (const DWORD error = CommDlgExtendedError())
            common::trace(FAILED_STATUS(GetOpenFileNameW, error));
        return std::nullopt;
    }
    return std::wstring(fileName.data());
}

void onInstall() {
    const auto path = askForDriverFile();
    if (!path) return;
    if (const auto registered =
            RegisterDriver(programLayers->services, programLayers->files, *path)) {
        showSuccess(L"Installed driver successfully");
    } else {
        common::trace(registered.failure());
        showError(L"Driver installation failed");
    }
}

void onRemove() {
    DialogStatusLine status;
    FilterContext filters = filtersFor(status);
    UnregisterDriver(programLayers->services, filters);
}

void onCommand(HWND dialog, WORD id) {
    switch (id) {
        case IDOK:
        case IDCANCEL:
            EndDialog(dialog, id);
            break;
        case IDC_CONFIGURE:
            onConfigure();
            break;
        case IDC_TEST:
            onTest();
            break;
        case IDC_REFRESH:
            RefreshDeviceList();
            break;
        case IDC_INSTALL:
            onInstall();
            break;
        case IDC_REMOVE:
            onRemove();
            break;
        default:
            break;
    }
}

INT_PTR handleDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            MainDialog = dialog;
            programLayers = reinterpret_cast<ProgramLayers*>(lParam);
            showProgramIcon(dialog, common::win32::windowDpi(dialog));
            RefreshDeviceList();
            return TRUE;
        case WM_DPICHANGED:
            // The dialog manager scales the template's controls and fonts itself.
            showProgramIcon(dialog, LOWORD(wParam));
            return FALSE;
        case WM_COMMAND:
            onCommand(dialog, LOWORD(wParam));
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void runMainDialog(HINSTANCE instance, ProgramLayers& layers) {
    if (DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDlgProc,
                        reinterpret_cast<LPARAM>(&layers)) == -1)
        common::trace(FAILED_CALL(DialogBoxParamW));
}

INT_PTR CALLBACK MainDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    // A message whose handling fails is traced and reported as not handled.
    return common::win32::atMessageBoundary(L"MainDlgProc", INT_PTR{FALSE}, [&] {
        return handleDialogMessage(dialog, message, wParam, lParam);
    });
}

}  // namespace velquin::win32
