#include "core/filter_list.hpp"

#include "core/driver_contract.h"

#include <algorithm>
#include <string_view>

namespace velquin {
namespace {

// The entry as the list holds it: single-byte text, without its NUL.
constexpr std::string_view driverName = FILTER_DRIVER_NAME;

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Only ASCII letters fold: other bytes of the code page never equal the name's.
bool namesDriver(std::string_view entry) {
    return std::ranges::equal(entry, driverName,
                              [](char a, char b) { return asciiLower(a) == asciiLower(b); });
}

// A caller-supplied count larger than the buffer must not lead us past it.
template <typename Byte>
std::span<Byte> counted(std::span<Byte> value, std::size_t count) {
    return value.first(std::min(count, value.size()));
}

}  // namespace

FilterList::FilterList(std::span<const unsigned char> value) {
    // A last entry without its NUL is an entry all the same.
    const std::string_view text(reinterpret_cast<const char*>(value.data()), value.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\0', at), text.size());
        entries_.push_back(text.substr(at, end - at));
        at = end + 1;
    }
}

int FilterList::findDriver() const {
    std::size_t offset = 0;
    for (std::string_view entry : entries_) {
        if (entry.empty()) break;
        if (namesDriver(entry)) return static_cast<int>(offset);
        offset += entry.size() + 1;
    }
    return -1;
}

void FilterList::insertDriverFirst() { entries_.insert(entries_.begin(), driverName); }

std::size_t FilterList::removeDriver() { return std::erase_if(entries_, namesDriver); }

bool FilterList::empty() const {
    return std::ranges::all_of(entries_, [](std::string_view entry) { return entry.empty(); });
}

std::vector<unsigned char> FilterList::bytes() const {
    if (empty()) return {0, 0};
    // Each entry and its NUL, then the list's NUL unless an empty last entry is it.
    std::size_t size = entries_.back().empty() ? 0 : 1;
    for (std::string_view entry : entries_) size += entry.size() + 1;
    std::vector<unsigned char> value(size);  // zeroed: the NULs are in place
    auto at = value.begin();
    for (std::string_view entry : entries_) at = std::ranges::copy(entry, at).out + 1;
    return value;
}

int FindFilterName(std::span<const unsigned char> value, std::size_t count) {
    return FilterList(counted(value, count)).findDriver();
}

bool InsertFilterName(FilterBuffer& value, std::size_t& count) {
    if (count > value.size()) return false;
    FilterList list(std::span<const unsigned char>(value).first(count));
    list.insertDriverFirst();
    const std::vector<unsigned char> edited = list.bytes();
    if (edited.size() >= value.size()) return false;
    std::ranges::copy(edited, value.begin());
    count = edited.size();
    return true;
}

std::size_t RemoveFilterName(std::span<unsigned char> value, std::size_t& count) {
    FilterList list(counted(value, count));
    const std::size_t removed = list.removeDriver();
    if (removed == 0) return 0;
    // Made before the buffer is cleared, as the list sees its bytes there. Each
    // entry removed took at least as many bytes as the closing NULs add.
    const std::vector<unsigned char> rest =
        list.empty() ? std::vector<unsigned char>{} : list.bytes();
    std::ranges::fill(value, 0);
    std::ranges::copy(rest, value.begin());
    count = rest.size();
    return removed;
}

}  // namespace velquin
