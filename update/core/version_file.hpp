#pragma once

#include <string>
#include <string_view>

namespace update {

// Extracts the service-pack version from the raw bytes of the version file.
// Returns an empty string when no candidate line is found.
std::string packVersionIn(std::string_view bytes);

}  // namespace update
