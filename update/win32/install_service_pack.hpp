#pragma once

#include "core/command_line.hpp"

#include <string>

#include <windows.h>

namespace update {

// The install step: reads the pack version from the media, validates it,
// replaces the installation's Events folder and database and records the
// version. A refused version is shown in a message box owned by `owner`;
// an unattended run has no window and passes null, and nothing is shown.
// Returns how the run ended, with its exit code (command_line.hpp): 0
// installed, 1618 another setup holds the installation, 1642 the pack's
// version may not be installed, 1620 the media do not hold the pack the
// program records (or its record cannot be read), 1603 any other failure.
// Unless installed, the installation is as it was found, or what is left
// the next run completes.
RunEnd InstallServicePack(const std::string& mediaFolder, const std::string& installPath,
                          HWND owner);

}  // namespace update
