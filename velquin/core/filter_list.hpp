// Editing of a device's UpperFilters value (REG_MULTI_SZ, single-byte text):
// entries of non-NUL bytes each closed by NUL, the list closed by one more NUL.
#pragma once

#include <array>
#include <cstddef>
#include <span>

namespace velquin {

// Configure edits the value in a buffer of this size and never writes a value
// that fills it; removal works on the value whatever its length.
inline constexpr std::size_t kFilterBufferSize = 512;
using FilterBuffer = std::array<unsigned char, kFilterBufferSize>;

// Offset of the first entry equal to the driver name, ASCII letters compared
// without case, or -1. Like Plug and Play, the search ends at the first empty
// entry. An entry that merely contains the name does not count, so a foreign
// filter such as "kelPortHiX" is never reported or touched.
// Only the first min(count, value's size) bytes are examined.
int FindFilterName(std::span<const unsigned char> value, std::size_t count);

// Puts the driver name in front of the value and closes an unterminated last
// entry and the list. Returns false, leaving buffer and count unchanged, when the result
// would be kFilterBufferSize bytes or longer.
bool InsertFilterName(FilterBuffer& value, std::size_t& count);

// Takes every entry equal to the driver name (compared as FindFilterName does)
// out of the whole value, past an empty entry too: taking more off is the safe
// side. Other entries keep their bytes and order. A remaining list is closed with its NULs even if
// the old value lacked them. count becomes 0 when no entry remains.
// Returns the number of entries removed (0: value and count untouched).
std::size_t RemoveFilterName(std::span<unsigned char> value, std::size_t& count);

}  // namespace velquin
