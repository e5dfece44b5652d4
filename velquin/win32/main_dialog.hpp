// The main dialog (resource 103) and the platform layers its commands use.
#pragma once

#include <windows.h>

namespace velquin::win32 {

INT_PTR CALLBACK MainDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The operations of the command-line modes; no dialog exists then.
bool RegisterDriverFromCommandLine(const wchar_t* driverPath);
bool UnregisterDriverFromCommandLine();

}  // namespace velquin::win32
