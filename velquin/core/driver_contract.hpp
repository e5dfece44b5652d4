// Names and codes shared with the kelPortHi kernel driver, which lies outside
// this program. Service name and UpperFilters entry must agree, because Plug
// and Play loads an upper filter by looking up the service of that name.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velquin {

inline constexpr char kDriverName[] = "kelPortHi";
inline constexpr wchar_t kDriverNameW[] = L"kelPortHi";
inline constexpr std::size_t kDriverNameLength = sizeof(kDriverName) - 1;

inline constexpr wchar_t kServiceDisplayNameW[] = L"KelPortHi filter driver";

// Platform naming kept on purpose so the value is recognisable next to
// CTL_CODE(FILE_DEVICE_SERIAL_PORT, 0x906, METHOD_BUFFERED, FILE_ANY_ACCESS).
inline constexpr std::uint32_t IOCTL_FILTER_PROBE = 0x001B2418;
inline constexpr std::size_t kProbeBufferSize = 10;

static_assert(kDriverNameLength == 9);
static_assert(IOCTL_FILTER_PROBE == ((0x1Bu << 16) | (0u << 14) | (0x906u << 2) | 0u),
              "probe code must stay in the vendor range of the serial device type");

}  // namespace velquin
