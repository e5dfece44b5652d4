#pragma once

#include <string>

#include <windows.h>

namespace update {

using MessageBoxFunction = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);

// The message box that shows a refusal. Tests replace it, since a real one
// would wait for a click.
extern MessageBoxFunction showRefusalMessage;

// Whether packVersion may be installed over the version recorded now. What
// it decided is traced, and a refusal is shown to the user in a message box
// owned by `owner`; an unattended run passes null and shows nothing.
bool fnValidateVersion(const std::string& packVersion, HWND owner);

}  // namespace update
