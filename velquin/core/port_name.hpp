// Port name carried in a COM port's friendly name, e.g. "USB Serial Port (COM3)".
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace velquin {

inline constexpr std::size_t maxPortNameLength = 49;

// Text after the first "(" up to the next ")" (or the end). Nothing when the
// text has no "(", when the name is empty, or when the name would be longer
// than maxPortNameLength: a cut name would test some other port.
std::optional<std::wstring> portNameFromFriendlyName(const std::wstring& friendlyName);

}  // namespace velquin
