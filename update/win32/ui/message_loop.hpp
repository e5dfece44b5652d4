#pragma once

// The program's message loops: every message passes the forms' keyboard
// handling before it is dispatched.

#include <windows.h>

namespace update::forms {

// Runs the message loop until WM_QUIT; returns its exit code.
int runMessageLoop();

// Runs a nested loop with `owner` disabled until `done` is set or `dialog` is
// destroyed. A WM_QUIT seen meanwhile is posted again for the outer loop.
void runModal(HWND dialog, HWND owner, const bool& done);

}  // namespace update::forms
