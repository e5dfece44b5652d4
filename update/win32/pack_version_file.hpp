#pragma once

#include <optional>
#include <string>

namespace update {

// Reads the media's version file and extracts the pack version from it;
// nullopt when the file cannot be opened or read.
std::optional<std::string> readPackVersionFile(const std::string& path);

}  // namespace update
