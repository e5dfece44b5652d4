// Version.bin read from real files: every byte reaches the reader, and only a
// file that cannot be read is an error.
#include "win32/pack_version_file.hpp"

#include "common/win32/ansi_text.hpp"
#include "common/win32/unique_any.hpp"
#include "ui_harness.hpp"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;
using common::win32::wideToAnsi;

TEST(PackVersionFile, ReadsTheWholeFileAsBytes) {
    const ui_harness::TempFolder temp(L"version-file");
    const std::wstring path = temp / L"Version.bin";
    const std::string longLine(3 * 1024 * 1024, '7');
    const std::pair<std::string, std::string> cases[] = {
        {"\0\x01\xff\xfe[1.9.0]\0"s, "\x01\xff\xfe[1.9.0]"s},
        {longLine, longLine.substr(1, longLine.size() - 2)},
    };
    for (const auto& [bytes, version] : cases) {
        ui_harness::writeFile(path, bytes);
        const auto read = update::readPackVersionFile(wideToAnsi(path));
        EXPECT_EQ(read ? *read : "<not read>", version)
            << testing::PrintToString(bytes.substr(0, 20));
    }

    const common::win32::UniqueFile held(
        CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    for (const std::wstring& unreadable : {path, temp / L"missing.bin", temp.path()})
        EXPECT_FALSE(update::readPackVersionFile(wideToAnsi(unreadable)))
            << ui_harness::narrow(unreadable);
}

}  // namespace
