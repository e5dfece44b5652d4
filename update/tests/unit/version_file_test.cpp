#include <gtest/gtest.h>

#include "core/version_file.hpp"

using namespace std::string_literals;

TEST(PackVersionFile, FirstFullDelimitedLineGivesTheVersion) {
    std::string binary;
    for (int i = 0; i < 256; ++i) binary.push_back(static_cast<char>(i));
    const std::string longLine = "<" + std::string(1 << 20, '7') + ">";
    const std::pair<std::string, std::string> cases[] = {
        {"\"1.9.0\"\r\n", "1.9.0"},
        {"\t \r\n  [1.9.0]  \r\nlater\r\n", "1.9.0"},
        {"\"1.\t9.0\"\n", "1.9.0"},  // tabs go first
        {"abc\r\"1.9.0\"\rx", "1.9.0"},
        {"abc\n\"1.9.0\"\n", "1.9.0"},
        {"\"1.9.0\"", "1.9.0"},
        {"1.9.0\r\n", ".9."},  // a short candidate stays until a full one replaces it
        {"1.9.0\r\n\"2.0.1\"\r\n", "2.0.1"},
        {"[1.9.0]\r\n[2.0.0]\r\n", "1.9.0"},
        {"1234\r\nab\r\n", ""},
        {"", ""},
        {"      \t\t  \r\n \t", ""},
        {"\0\0\0\0\0\0\0"s, "\0\0\0\0\0"s},
        {binary, binary.substr(1, 7)},  // the first line, its tab (byte 9) taken out
        {longLine, std::string(1 << 20, '7')},
    };
    for (const auto& [bytes, version] : cases)
        EXPECT_EQ(update::packVersionIn(bytes), version)
            << testing::PrintToString(bytes.substr(0, 40));
}
