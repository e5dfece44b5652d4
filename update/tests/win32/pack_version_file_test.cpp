// Reading Version.bin from real files: whatever bytes it holds, the reader must
// not fail, and only an unreadable file is an error.
#include "win32/pack_version_file.hpp"

#include "tests/win32/test_support.hpp"

#include "common/win32/unique_any.hpp"

#include <gtest/gtest.h>

namespace {

using namespace testing_support;

class VersionFile : public ::testing::Test {
protected:
    std::optional<std::string> readWith(const std::string& bytes) {
        writeFile(path(), bytes);
        return update::readPackVersionFile(wideToAnsi(path()));
    }
    std::wstring path() const { return temp.path() + L"\\Version.bin"; }

    TempFolder temp;
};

TEST_F(VersionFile, LineEndsOfEveryKindAndNoneAtAll) {
    EXPECT_EQ(readWith("[1.9.0]"), "1.9.0");
    EXPECT_EQ(readWith("\r\n\r\n<1.9.1>\r\n"), "1.9.1");
    EXPECT_EQ(readWith("ab\r\r\"1.9.2\"\rtrailing"), "1.9.2");
    EXPECT_EQ(readWith("\n\n'1.9.3'\n"), "1.9.3");
}

TEST_F(VersionFile, OddContentYieldsTextNotFailure) {
    EXPECT_EQ(readWith(""), "");
    EXPECT_EQ(readWith("   \t \r\n\t\t\r\n    "), "");
    EXPECT_EQ(readWith(std::string("\0\x01\xff\xfe[1.9.0]\0", 11)),
              std::string("\x01\xff\xfe[1.9.0]", 9));
    const std::string longLine(3 * 1024 * 1024, '7');
    EXPECT_EQ(readWith(longLine), longLine.substr(1, longLine.size() - 2));
}

TEST_F(VersionFile, UnreadableFileIsAnError) {
    EXPECT_EQ(update::readPackVersionFile(wideToAnsi(path())), std::nullopt);  // missing
    writeFile(path(), "[1.9.0]");
    {
        const common::win32::unique_hfile held(
            CreateFileW(path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        EXPECT_EQ(update::readPackVersionFile(wideToAnsi(path())), std::nullopt);
    }
    EXPECT_EQ(update::readPackVersionFile(wideToAnsi(temp.path())), std::nullopt);  // a folder
}

}  // namespace
