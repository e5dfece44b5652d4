#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace update {

// Handed to the ANSI registry calls as they are, so NUL-terminated.
inline constexpr char registryKeyPath[] = "SOFTWARE\\KVB\\Orvexa";
inline constexpr char versionValueName[] = "Version";
inline constexpr char installPathValueName[] = "Installpath";
inline constexpr std::size_t registryBufferSize = 255;

// The buffer handed to the query: pre-filled with blanks so that data
// stored without a terminating NUL is followed by trimmable padding.
std::string makeRegistryQueryBuffer();

// The text of a value, from the buffer a successful query filled.
std::string decodeRegistryValue(std::string_view buffer);

// The bytes written for a REG_SZ value: the text and one terminating NUL.
std::string encodeRegistryString(std::string_view text);

}  // namespace update
