#include <gtest/gtest.h>

#include "core/filter_list.hpp"

#include <cstring>
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

std::string afterInsert(const std::string& s) {
    Value v = make(s);
    EXPECT_TRUE(InsertFilterName(v.bytes, v.count));
    return text(v);
}

std::string afterRemove(const std::string& s, std::size_t expectedRemoved = 1) {
    Value v = make(s);
    EXPECT_EQ(RemoveFilterName(v.bytes, v.count), expectedRemoved);
    return text(v);
}

// A well-formed list of total length n: one entry and the closing NUL.
std::string listOfLength(std::size_t n) { return std::string(n - 2, 'a') + "\0\0"s; }

}  // namespace

TEST(FindFilterName, MatchesWholeEntriesOnly) {
    EXPECT_EQ(FindFilterName(make("kelPortHi\0\0"s).bytes, 11), 0);
    EXPECT_EQ(FindFilterName(make("serenum\0kelPortHi\0\0"s).bytes, 19), 8);
    EXPECT_EQ(FindFilterName(make("kelPortHiX\0\0"s).bytes, 12), -1);
    EXPECT_EQ(FindFilterName(make("XkelPortHi\0\0"s).bytes, 12), -1);
    EXPECT_EQ(FindFilterName(make("KelPortHi\0\0"s).bytes, 11), -1);
    EXPECT_EQ(FindFilterName(make(""s).bytes, 0), -1);
}

TEST(FindFilterName, StaysInsideTheCount) {
    // The bytes after the count are not part of the value.
    EXPECT_EQ(FindFilterName(make("kelPortHi\0\0"s).bytes, 8), -1);
    // A final entry lacking its NUL still counts.
    EXPECT_EQ(FindFilterName(make("a\0kelPortHi"s).bytes, 11), 2);
    // A count beyond the buffer is clamped, not followed.
    Value v = make(listOfLength(kFilterBufferSize));
    EXPECT_EQ(FindFilterName(v.bytes, 100000), -1);
}

TEST(InsertFilterName, PutsTheNameFirstAndClosesTheList) {
    EXPECT_EQ(afterInsert(""s), "kelPortHi\0\0"s);
    EXPECT_EQ(afterInsert("serenum\0\0"s), "kelPortHi\0serenum\0\0"s);
    EXPECT_EQ(afterInsert("\0\0"s), "kelPortHi\0\0\0"s);
    EXPECT_EQ(afterInsert("serenum\0"s), "kelPortHi\0serenum\0\0"s);
    EXPECT_EQ(afterInsert("serenum"s), "kelPortHi\0serenum\0\0"s);
}

TEST(InsertFilterName, RefusesAResultOf512BytesOrMore) {
    Value fits = make(listOfLength(501));
    EXPECT_TRUE(InsertFilterName(fits.bytes, fits.count));
    EXPECT_EQ(fits.count, 511u);

    const Value before = make(listOfLength(502));
    Value refused = before;
    EXPECT_FALSE(InsertFilterName(refused.bytes, refused.count));
    EXPECT_EQ(refused.count, before.count);
    EXPECT_EQ(refused.bytes, before.bytes);

    Value oversized = make(""s);
    oversized.count = kFilterBufferSize + 1;
    EXPECT_FALSE(InsertFilterName(oversized.bytes, oversized.count));
}

TEST(RemoveFilterName, KeepsTheOtherEntriesInOrder) {
    EXPECT_EQ(afterRemove("kelPortHi\0serenum\0\0"s), "serenum\0\0"s);
    EXPECT_EQ(afterRemove("a\0kelPortHi\0b\0\0"s), "a\0b\0\0"s);
    EXPECT_EQ(afterRemove("a\0b\0kelPortHi\0\0"s), "a\0b\0\0"s);
}

TEST(RemoveFilterName, EmptiesAListThatHeldOnlyTheName) {
    Value v = make("kelPortHi\0\0"s);
    EXPECT_EQ(RemoveFilterName(v.bytes, v.count), 1u);
    EXPECT_EQ(v.count, 0u);
    EXPECT_EQ(v.bytes, FilterBuffer{});
    EXPECT_EQ(afterRemove("kelPortHi\0kelPortHi\0\0"s, 2), ""s);
}

TEST(RemoveFilterName, TakesOutEveryEqualEntry) {
    EXPECT_EQ(afterRemove("kelPortHi\0a\0kelPortHi\0\0"s, 2), "a\0\0"s);
}

TEST(RemoveFilterName, NeverCutsIntoAnotherEntry) {
    for (const auto& s : {"kelPortHiX\0\0"s, "XkelPortHi\0\0"s, "akelPortHib\0\0"s}) {
        Value v = make(s);
        EXPECT_EQ(RemoveFilterName(v.bytes, v.count), 0u);
        EXPECT_EQ(text(v), s);
    }
    EXPECT_EQ(afterRemove("kelPortHiX\0kelPortHi\0\0"s), "kelPortHiX\0\0"s);
}

TEST(RemoveFilterName, ClosesAMalformedRemainder) {
    EXPECT_EQ(afterRemove("kelPortHi\0serenum"s), "serenum\0\0"s);
    EXPECT_EQ(afterRemove("serenum\0kelPortHi"s), "serenum\0\0"s);
    EXPECT_EQ(afterRemove("kelPortHi"s), ""s);
}

TEST(RemoveFilterName, FullBufferWithoutClosingNulStaysInside) {
    // 512 bytes, no NUL at the end: under ASan any access past the buffer fails.
    std::string s = "kelPortHi\0"s + std::string(kFilterBufferSize - 10, 'b');
    Value v = make(s);
    EXPECT_EQ(RemoveFilterName(v.bytes, v.count), 1u);
    EXPECT_EQ(text(v), std::string(kFilterBufferSize - 10, 'b') + "\0\0"s);
}
