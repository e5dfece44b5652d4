#include <gtest/gtest.h>

#include "core/version_file.hpp"

using update::readPackVersion;
using namespace std::string_literals;

TEST(PackVersionFile, DelimitedVersionFound) {
    EXPECT_EQ(readPackVersion("\"1.9.0\"\r\n"), "1.9.0");
    EXPECT_EQ(readPackVersion("\t \r\n  [1.9.0]  \r\nlater\r\n"), "1.9.0");
    EXPECT_EQ(readPackVersion("\"1.\t9.0\"\n"), "1.9.0");  // tabs removed first
}

TEST(PackVersionFile, LineEndingsCrCrLfAndLf) {
    EXPECT_EQ(readPackVersion("abc\r\"1.9.0\"\rx"), "1.9.0");
    EXPECT_EQ(readPackVersion("abc\n\"1.9.0\"\n"), "1.9.0");
    EXPECT_EQ(readPackVersion("\"1.9.0\""), "1.9.0");  // no line end
}

TEST(PackVersionFile, ShortCandidateKeptUntilReplaced) {
    EXPECT_EQ(readPackVersion("1.9.0\r\n"), ".9.");
    EXPECT_EQ(readPackVersion("1.9.0\r\n\"2.0.1\"\r\n"), "2.0.1");
    EXPECT_EQ(readPackVersion("[1.9.0]\r\n[2.0.0]\r\n"), "1.9.0");  // first full one wins
    EXPECT_EQ(readPackVersion("1234\r\nab\r\n"), "");
}

TEST(PackVersionFile, HostileInputIsSafe) {
    EXPECT_EQ(readPackVersion(""), "");
    EXPECT_EQ(readPackVersion("      \t\t  \r\n \t"), "");
    EXPECT_EQ(readPackVersion("\0\0\0\0\0\0\0"s), "\0\0\0\0\0"s);
    std::string binary;
    for (int i = 0; i < 256; ++i) binary.push_back(static_cast<char>(i));
    EXPECT_NO_THROW(readPackVersion(binary));
    const std::string longLine = "<" + std::string(1 << 20, '7') + ">";
    EXPECT_EQ(readPackVersion(longLine).size(), std::size_t{1} << 20);
}
