#pragma once

#include "common/core/failure.hpp"

#include <string>

namespace update {

// Reads the media's version file and extracts the pack version from it, or
// the failure that kept the file from being read.
common::Result<std::string> readPackVersionFile(const std::string& path);

}  // namespace update
