#pragma once

#include <string>

#include <windows.h>

namespace update {

// The wizard's install step: reads the pack version from the media, validates
// it (showing the refusal message box owned by `owner`), replaces the
// installation's Events folder and database and records the version.
// False on any failure; the installation is then as it was found.
bool InstallServicePack(const std::string& mediaFolder, const std::string& installPath, HWND owner);

}  // namespace update
