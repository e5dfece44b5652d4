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

std::wstring concat(std::initializer_list<std::wstring_view> parts) {
    std::size_t size = 0;
    for (const std::wstring_view part : parts) size += part.size();
    std::wstring text;
    text.reserve(size);
    for (const std::wstring_view part : parts) text.append(part);
    return text;
}

std::string hexOfBytes(std::string_view bytes) {
    std::string hex;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex.push_back("0123456789abcdef"[byte >> 4]);
        hex.push_back("0123456789abcdef"[byte & 15]);
    }
    return hex;
}

std::optional<std::string> bytesOfHex(std::string_view hex) {
    const auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    if (hex.size() % 2) return std::nullopt;
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = digit(hex[i]), low = digit(hex[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<char>(high * 16 + low));
    }
    return bytes;
}

}  // namespace common
