#pragma once

#include <cstdint>
#include <string>

// The installed product's registry record, read and written through the ANSI
// registry functions. Statuses: 0 read, -1 not read (callers test for non-zero).
namespace update {

std::int32_t GetInstalledVersion(std::string& version);
std::int32_t GetInstallPath(std::string& installPath);
// Returns whether the value was stored; the wizard's install step counts a
// failed write as a failed install.
bool SetInstalledVersion(const std::string& version);

}  // namespace update
