#include "core/registry_value.hpp"

#include "common/core/text.hpp"

namespace update {

std::string makeRegistryQueryBuffer() { return std::string(registryBufferSize, ' '); }

std::string decodeRegistryValue(std::string_view buffer) {
    // Never look past the fixed buffer, whatever the caller passed.
    std::string_view text = buffer.substr(0, registryBufferSize);
    const auto nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    // Only U+0020 counts as a blank here; tabs are part of the value.
    return std::string(common::trimBlanks(text));
}

std::string encodeRegistryString(std::string_view text) {
    std::string data(text);
    data.push_back('\0');
    return data;
}

}  // namespace update
