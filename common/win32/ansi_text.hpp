// Text in the ANSI code page, as the registry's ANSI calls and the media's
// files hand it over, converted to and from UTF-16; and UTF-16 as UTF-8, the
// encoding of the log and of the pack's record.
#pragma once

#include <string>
#include <string_view>

namespace common::win32 {

std::wstring ansiToWide(std::string_view text);
std::string wideToAnsi(std::wstring_view text);
std::string wideToUtf8(std::wstring_view text);

}  // namespace common::win32
