#include "core/filter_list.hpp"

#include "core/driver_contract.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

namespace velquin {
namespace {

// A caller-supplied count larger than the value must not lead us past it.
std::size_t usableLength(std::span<const unsigned char> value, std::size_t count) {
    return std::min(count, value.size());
}

unsigned char asciiLower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// Service names are not case-sensitive, so neither is an entry naming one.
// Only ASCII letters fold: other bytes of the code page never equal the name's.
bool isNameEntryAt(std::span<const unsigned char> v, std::size_t n, std::size_t s) {
    const bool entryStart = s == 0 || v[s - 1] == 0;
    if (!entryStart || s + kDriverNameLength > n) return false;
    const auto sameLetter = [](unsigned char a, char b) {
        return asciiLower(a) == asciiLower(static_cast<unsigned char>(b));
    };
    if (!std::equal(v.begin() + s, v.begin() + s + kDriverNameLength, kDriverName, sameLetter))
        return false;
    const std::size_t end = s + kDriverNameLength;
    return end == n || v[end] == 0;
}

}  // namespace

int FindFilterName(std::span<const unsigned char> value, std::size_t count) {
    const std::size_t n = usableLength(value, count);
    // Entry by entry up to the first empty one, where Plug and Play stops;
    // s stands on an entry's first byte.
    for (std::size_t s = 0; s < n && value[s] != 0; ++s) {
        if (isNameEntryAt(value, n, s)) return static_cast<int>(s);
        while (s < n && value[s] != 0) ++s;  // to the entry's NUL, which ++s passes
    }
    return -1;
}

bool InsertFilterName(FilterBuffer& value, std::size_t& count) {
    if (count > kFilterBufferSize) return false;
    // Room for the largest possible result, so refusal is decided on n alone.
    std::array<unsigned char, kFilterBufferSize + kDriverNameLength + 3> out{};
    std::memcpy(out.data(), kDriverName, kDriverNameLength);
    std::size_t n = kDriverNameLength + 1;  // out[9] is already NUL
    std::memcpy(out.data() + n, value.data(), count);
    n += count;
    // Close an unterminated last entry, then the list: the result ends in two
    // NULs (out is zeroed past n).
    if (out[n - 1] != 0) {
        n += 2;
    } else if (out[n - 2] != 0) {
        ++n;
    }
    if (n >= kFilterBufferSize) return false;
    std::memcpy(value.data(), out.data(), n);
    count = n;
    return true;
}

std::size_t RemoveFilterName(std::span<unsigned char> value, std::size_t& count) {
    const std::size_t n = usableLength(value, count);
    std::vector<unsigned char> out(n);
    std::size_t len = 0;
    std::size_t removed = 0;
    std::size_t s = 0;
    // Walk entry by entry so a cut can only ever take a whole entry.
    while (s < n) {
        if (isNameEntryAt(value, n, s)) {
            s += kDriverNameLength;
            if (s < n) ++s;  // its NUL (guaranteed by isNameEntryAt)
            ++removed;
            continue;
        }
        while (s < n) {
            const unsigned char b = value[s++];
            out[len++] = b;
            if (b == 0) break;
        }
    }
    if (removed == 0) return 0;

    const bool anyEntry = std::any_of(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(len),
                                      [](unsigned char b) { return b != 0; });
    std::fill(value.begin(), value.end(), 0);
    if (!anyEntry) {
        count = 0;
        return removed;
    }
    // At least 9 bytes went away, so closing NULs always fit.
    if (out[len - 1] != 0) out[len++] = 0;
    if (len < 2 || out[len - 2] != 0) out[len++] = 0;
    std::memcpy(value.data(), out.data(), len);
    count = len;
    return removed;
}

}  // namespace velquin
