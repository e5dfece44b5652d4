// Editing of a device's UpperFilters value (REG_MULTI_SZ, single-byte text):
// entries of non-NUL bytes each closed by NUL, the list closed by one more NUL.
// The value is read into its entries, edited as a list and written back whole.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

namespace velquin {

// Configure edits the value in a buffer of this size and never writes a value
// that fills it; removal works on the value whatever its length.
inline constexpr std::size_t filterBufferSize = 512;
using FilterBuffer = std::array<unsigned char, filterBufferSize>;

// The entries of a value, in order, each as its bytes without the NUL, seen
// where the value holds them: the value must outlive the list. An
// empty entry is kept where it stands: Plug and Play reads no further, but
// what follows still belongs to the value, so an unedited value that ends in
// its closing NULs is written back to the byte. Entries naming the driver are
// compared with its name without regard to the case of ASCII letters, as
// service names are; an entry that merely contains the name, such as a
// foreign filter "kelPortHiX", never counts.
class FilterList {
public:
    explicit FilterList(std::span<const unsigned char> value);

    // Offset in the value of the first entry naming the driver before any
    // empty entry, where Plug and Play stops; -1 when there is none.
    int findDriver() const;
    void insertDriverFirst();
    // Takes out every entry naming the driver, past an empty entry too:
    // taking more off is the safe side. Returns how many went.
    std::size_t removeDriver();
    // True when no entry holds any text.
    bool empty() const;

    // The value: each entry closed by its NUL and the list by one more, which
    // an empty last entry already is; a list without text is two NULs. The
    // one place where a value's bytes are made.
    std::vector<unsigned char> bytes() const;

private:
    std::vector<std::string_view> entries_;
};

// The list over a value held in a buffer with a count of its bytes. Only the
// first min(count, value's size) bytes are the value.

// FilterList::findDriver on the value.
int FindFilterName(std::span<const unsigned char> value, std::size_t count);

// Puts the driver name in front of the value, closing an unterminated last
// entry and the list. Returns false, leaving buffer and count unchanged, when
// the result would be filterBufferSize bytes or longer.
bool InsertFilterName(FilterBuffer& value, std::size_t& count);

// FilterList::removeDriver on the value; the buffer then holds the rest and is
// zeroed after it, and count becomes 0 when no entry remains.
// Returns the number of entries removed (0: value and count untouched).
std::size_t RemoveFilterName(std::span<unsigned char> value, std::size_t& count);

}  // namespace velquin
