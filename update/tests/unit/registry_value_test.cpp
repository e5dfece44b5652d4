#include <gtest/gtest.h>

#include "core/registry_value.hpp"

using namespace update;
using namespace std::string_literals;

// The query writes the value over a buffer of blanks; the text ends at the
// first NUL and only spaces are trimmed.
TEST(RegistryValue, DecodesTheQueriedBuffer) {
    const struct {
        std::string data;
        long queryResult;
        RegistryRead read;
    } cases[] = {
        {"1.9.0\0"s, 0, {0, "1.9.0"}},
        {"1.9.0"s, 0, {0, "1.9.0"}},
        {"  1.9.0  \0"s, 0, {0, "1.9.0"}},
        {"1.9.0\t\0"s, 0, {0, "1.9.0\t"}},
        {"1.9.0\0z"s, 0, {0, "1.9.0"}},
        {"   \0"s, 0, {0, ""}},
        {std::string(254, 'a') + '\0', 0, {0, std::string(254, 'a')}},
        {std::string(255, 'a'), 234, {-1, ""}},
    };
    for (const auto& c : cases) {
        std::string buffer = makeRegistryQueryBuffer();
        buffer.replace(0, c.data.size(), c.data);
        const auto read = decodeRegistryValue(buffer, c.queryResult);
        EXPECT_EQ(read.status, c.read.status) << testing::PrintToString(c.data);
        EXPECT_EQ(read.text, c.read.text) << testing::PrintToString(c.data);
    }
}
