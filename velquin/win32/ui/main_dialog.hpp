// The main dialog (resource 103), working on the layers the entry built.
#pragma once

#include "core/device_layer.hpp"
#include "core/driver_service.hpp"
#include "core/port_probe.hpp"

#include <windows.h>

namespace velquin::win32 {

// The platform layers of one run, built by the entry and handed to the
// dialog and to the command-line modes.
struct ProgramLayers {
    ServiceLayer& services;
    FileSystem& files;
    DeviceLayer& devices;
    SerialPortLayer& ports;
};

// Runs the dialog modally until it is closed.
void runMainDialog(HINSTANCE instance, ProgramLayers& layers);

// lParam of WM_INITDIALOG: the ProgramLayers its commands work on.
INT_PTR CALLBACK MainDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

}  // namespace velquin::win32
