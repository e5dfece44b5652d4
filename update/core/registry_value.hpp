#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace update {

inline constexpr std::string_view kRegistryKeyPath = "SOFTWARE\\KVB\\Orvexa";
inline constexpr std::string_view kVersionValueName = "Version";
inline constexpr std::string_view kInstallPathValueName = "Installpath";
inline constexpr std::size_t kRegistryBufferSize = 255;

inline constexpr std::int32_t kRegistryStatusRead = 0;
inline constexpr std::int32_t kRegistryStatusNotRead = -1;

struct RegistryRead {
    std::int32_t status = kRegistryStatusNotRead;
    std::string text;
};

// The buffer handed to the query: pre-filled with blanks so that data
// stored without a terminating NUL is followed by trimmable padding.
std::string makeRegistryQueryBuffer();

// Turns the buffer after a query and the query's return code (0 = success)
// into the status and text the wizard works with.
RegistryRead decodeRegistryValue(std::string_view buffer, long queryResult);

// The bytes written for a REG_SZ value: the text and one terminating NUL.
std::string encodeRegistryString(std::string_view text);

}  // namespace update
