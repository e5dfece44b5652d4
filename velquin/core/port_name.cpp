#include "core/port_name.hpp"

namespace velquin {

std::optional<std::wstring> portNameFromFriendlyName(const std::wstring& friendlyName) {
    const std::size_t open = friendlyName.find(L'(');
    if (open == std::wstring::npos || open + 1 >= friendlyName.size()) return std::nullopt;
    const std::size_t start = open + 1;
    const std::size_t close = friendlyName.find(L')', start);
    const std::size_t end = close == std::wstring::npos ? friendlyName.size() : close;
    if (end == start || end - start > maxPortNameLength) return std::nullopt;
    return friendlyName.substr(start, end - start);
}

}  // namespace velquin
