#include "common/core/text.hpp"

namespace common {
namespace {

template <typename View>
View trim(View text) {
    const auto first = text.find_first_not_of(' ');
    if (first == View::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

}  // namespace

std::string_view trimBlanks(std::string_view text) { return trim(text); }
std::wstring_view trimBlanks(std::wstring_view text) { return trim(text); }

bool isBlank(std::string_view text) { return trimBlanks(text).empty(); }

std::wstring asciiToWide(std::string_view text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        wide.push_back(byte < 0x80 ? static_cast<wchar_t>(byte) : L'?');
    }
    return wide;
}

namespace {

template <typename Char>
std::basic_string<Char> digitsOf(std::uint32_t value, unsigned base, std::size_t minDigits) {
    std::basic_string<Char> digits;
    do {
        digits.insert(digits.begin(), static_cast<Char>("0123456789abcdef"[value % base]));
        value /= base;
    } while (value != 0);
    if (digits.size() < minDigits) digits.insert(0, minDigits - digits.size(), Char('0'));
    return digits;
}

}  // namespace

std::wstring numberText(std::uint32_t value, unsigned base, std::size_t minDigits) {
    return digitsOf<wchar_t>(value, base, minDigits);
}

std::string hexText(std::uint32_t value) { return digitsOf<char>(value, 16, 8); }

}  // namespace common
