// Text helpers both programs and their tests use.
#pragma once

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

}  // namespace common
