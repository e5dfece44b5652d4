#include <gtest/gtest.h>

#include "core/filter_list.hpp"

#include <cstring>
#include <optional>
#include <string>

using namespace velquin;
using namespace std::string_literals;

namespace {

struct Value {
    FilterBuffer bytes{};
    std::size_t count = 0;
};

Value make(const std::string& s) {
    Value v;
    std::memcpy(v.bytes.data(), s.data(), s.size());
    v.count = s.size();
    return v;
}

std::string text(const Value& v) {
    return std::string(reinterpret_cast<const char*>(v.bytes.data()), v.count);
}

// A well-formed list of total length n: one entry and the closing NUL.
std::string listOfLength(std::size_t n) { return std::string(n - 2, 'a') + "\0\0"s; }

}  // namespace

TEST(FilterList, FindMatchesWholeEntriesInsideTheCountOnly) {
    const struct {
        std::string bytes;
        std::size_t count;
        int offset;
    } cases[] = {
        {"kelPortHi\0\0"s, 11, 0},
        {"serenum\0kelPortHi\0\0"s, 19, 8},
        {"a\0kelPortHi"s, 11, 2},  // a final entry lacking its NUL still counts
        {"kelPortHiX\0\0"s, 12, -1},
        {"XkelPortHi\0\0"s, 12, -1},
        {"KELPORTHI\0\0"s, 11, 0},
        {"\0kelPortHi\0\0"s, 12, -1},  // Plug and Play reads no further than an empty entry
        {"a\0\0kelPortHi\0\0"s, 14, -1},
        {""s, 0, -1},
        {"kelPortHi\0\0"s, 8, -1},                     // bytes past the count are not the value
        {listOfLength(filterBufferSize), 100000, -1},  // a count past the buffer is clamped
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindFilterName(make(c.bytes).bytes, c.count), c.offset)
            << testing::PrintToString(c.bytes) << " count " << c.count;
}

TEST(FilterList, InsertPutsTheNameFirstAndRefusesAResultOf512BytesOrMore) {
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {""s, "kelPortHi\0\0"s},
        {"serenum\0\0"s, "kelPortHi\0serenum\0\0"s},
        {"\0\0"s, "kelPortHi\0\0\0"s},
        {"serenum\0"s, "kelPortHi\0serenum\0\0"s},
        {"serenum"s, "kelPortHi\0serenum\0\0"s},
        {"A"s, "kelPortHi\0A\0\0"s},
        {"A\0B"s, "kelPortHi\0A\0B\0\0"s},
        {listOfLength(501), "kelPortHi\0"s + listOfLength(501)},  // 511 bytes
        {listOfLength(502), std::nullopt},
    };
    for (const auto& [before, after] : cases) {
        SCOPED_TRACE(testing::PrintToString(before));
        Value v = make(before);
        EXPECT_EQ(InsertFilterName(v.bytes, v.count), after.has_value());
        EXPECT_EQ(text(v), after.value_or(before));
        if (!after) {
            EXPECT_EQ(v.bytes, make(before).bytes);
        }
    }
    Value oversized = make(""s);
    oversized.count = filterBufferSize + 1;
    EXPECT_FALSE(InsertFilterName(oversized.bytes, oversized.count));
}

// Under ASan, any read or write past the 512-byte buffer fails the run.
TEST(FilterList, RemoveTakesWholeEqualEntriesAndClosesTheRest) {
    const std::string fullWithoutNul = "kelPortHi\0"s + std::string(filterBufferSize - 10, 'b');
    const struct {
        std::string before;
        std::string after;
        std::size_t removed;
    } cases[] = {
        {"a\0kelPortHi\0b\0\0"s, "a\0b\0\0"s, 1},
        {"KelPortHi\0a\0KELPORTHI\0\0"s, "a\0\0"s, 2},
        {"\0kelPortHi\0\0"s, ""s, 1},
        {"kelPortHi\0\0"s, ""s, 1},
        {"kelPortHi\0kelPortHi\0\0"s, ""s, 2},
        {"kelPortHiX\0kelPortHi\0\0"s, "kelPortHiX\0\0"s, 1},
        {"kelPortHiX\0\0"s, "kelPortHiX\0\0"s, 0},
        {"XkelPortHi\0\0"s, "XkelPortHi\0\0"s, 0},
        {"akelPortHib\0\0"s, "akelPortHib\0\0"s, 0},
        {"kelPortHi\0serenum"s, "serenum\0\0"s, 1},
        {"serenum\0kelPortHi"s, "serenum\0\0"s, 1},
        {"kelPortHi"s, ""s, 1},
        {fullWithoutNul, std::string(filterBufferSize - 10, 'b') + "\0\0"s, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.before));
        Value v = make(c.before);
        EXPECT_EQ(RemoveFilterName(v.bytes, v.count), c.removed);
        EXPECT_EQ(text(v), c.after);
        EXPECT_EQ(v.bytes, make(c.after).bytes) << "stale bytes after the value";
    }
}
