// Text helpers both programs and their tests use.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace common {

// Without leading and trailing U+0020. Only the space counts as a blank:
// tabs and other characters are part of the text.
std::string_view trimBlanks(std::string_view text);
std::wstring_view trimBlanks(std::wstring_view text);

// True when the text holds nothing but blanks (or nothing).
bool isBlank(std::string_view text);

// Widens 7-bit text such as an exception's what(); other bytes become '?'.
std::wstring asciiToWide(std::string_view text);

// The number in decimal or lower-case hex (base 16), zero-padded to at least
// minDigits digits. The programs format their few numbers with this rather
// than pulling in the C library's printf.
std::wstring numberText(std::uint32_t value, unsigned base = 10, std::size_t minDigits = 1);

// The value as eight lower-case hex digits, for names made of numbers.
std::string hexText(std::uint32_t value);

// The parts one after another, in one text of the right size: what every
// trace line and message is built with, out of line, so that building one
// costs each call site a list of pointers and lengths.
std::wstring concat(std::initializer_list<std::wstring_view> parts);

// Each byte as two lower-case hex digits, so any bytes fit in a line of
// text; bytesOfHex reads them back, nullopt for what hexOfBytes never writes.
std::string hexOfBytes(std::string_view bytes);
std::optional<std::string> bytesOfHex(std::string_view hex);

}  // namespace common
