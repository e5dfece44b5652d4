#pragma once

#include "common/core/failure.hpp"

#include <string>

// The installed product's registry record, read and written through the ANSI
// registry calls. A read gives the value's text, trimmed, or the failure of
// the call that stopped it: RegOpenKeyA when the key is missing,
// RegQueryValueExA when the value is.
namespace update {

common::Result<std::string> GetInstalledVersion();
common::Result<std::string> GetInstallPath();
// Succeeds once the value is stored and flushed to disk: the registry
// reaches the disk lazily, and the install step counts the version as
// recorded only once it is there.
common::Result<> SetInstalledVersion(const std::string& version);

}  // namespace update
