#include <gtest/gtest.h>

#include "core/registry_value.hpp"

using namespace update;
using namespace std::string_literals;

namespace {
// Simulates the query writing data over the blank-filled buffer.
std::string afterQuery(const std::string& data) {
    std::string buffer = makeRegistryQueryBuffer();
    buffer.replace(0, data.size(), data);
    return buffer;
}
}  // namespace

TEST(RegistryValue, DecodesTextAndTrimsOnlySpaces) {
    EXPECT_EQ(makeRegistryQueryBuffer().size(), 255u);
    const auto withNul = decodeRegistryValue(afterQuery("1.9.0\0"s), 0);
    EXPECT_EQ(withNul.status, 0);
    EXPECT_EQ(withNul.text, "1.9.0");
    EXPECT_EQ(decodeRegistryValue(afterQuery("1.9.0"), 0).text, "1.9.0");
    EXPECT_EQ(decodeRegistryValue(afterQuery("  1.9.0  \0"s), 0).text, "1.9.0");
    EXPECT_EQ(decodeRegistryValue(afterQuery("1.9.0\t\0"s), 0).text, "1.9.0\t");
    EXPECT_EQ(decodeRegistryValue(afterQuery("1.9.0\0z"s), 0).text, "1.9.0");
}

TEST(RegistryValue, BlankValueReadsEmptyWithSuccess) {
    const auto r = decodeRegistryValue(afterQuery("   \0"s), 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.text, "");
}

TEST(RegistryValue, QueryFailureGivesMinusOneAndEmpty) {
    const long kMoreData = 234;
    const auto r = decodeRegistryValue(afterQuery(std::string(255, 'a')), kMoreData);
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.text, "");
    EXPECT_EQ(decodeRegistryValue(afterQuery(std::string(254, 'a') + '\0'), 0).text.size(), 254u);
}

TEST(RegistryValue, EncodedStringHasSingleTerminator) {
    EXPECT_EQ(encodeRegistryString("1.9.2"), "1.9.2\0"s);
}
