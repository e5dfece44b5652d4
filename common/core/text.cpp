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

std::wstring numberText(std::uint32_t value, unsigned base, std::size_t minDigits) {
    std::wstring digits;
    do {
        digits.insert(digits.begin(), L"0123456789abcdef"[value % base]);
        value /= base;
    } while (value != 0);
    if (digits.size() < minDigits) digits.insert(0, minDigits - digits.size(), L'0');
    return digits;
}

std::string hexText(std::uint32_t value) {
    std::string digits(8, '0');
    for (auto digit = digits.rbegin(); digit != digits.rend(); ++digit, value >>= 4)
        *digit = "0123456789abcdef"[value & 15];
    return digits;
}

}  // namespace common
