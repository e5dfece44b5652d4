#pragma once

#include <cstdint>
#include <string>

// The installed product's registry record, read and written through the ANSI
// registry functions. Statuses: 0 read, -1 not read (callers test for non-zero).
namespace update {

std::int32_t GetInstalledVersion(std::string& version);
std::int32_t GetInstallPath(std::string& installPath);
// Returns whether the value was stored and flushed to disk: the registry
// reaches the disk lazily, and the install step counts the version as
// recorded only once it is there.
bool SetInstalledVersion(const std::string& version);

}  // namespace update
