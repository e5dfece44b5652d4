// The record read and written through the ANSI registry calls of the prefix,
// with values stored as single-byte text the way those calls store them.
#include "win32/md_read_registry.hpp"

#include "ui_harness.hpp"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;
using ui_harness::RegKey;

const wchar_t kKey[] = L"SOFTWARE\\KVB\\Orvexa";

class RegistryRecord : public ::testing::Test {
protected:
    void SetUp() override { RegKey::deleteTree(HKEY_LOCAL_MACHINE, kKey); }
    void TearDown() override { RegKey::deleteTree(HKEY_LOCAL_MACHINE, kKey); }
};

TEST_F(RegistryRecord, BothValuesReadAsTheQueryLeavesThem) {
    const struct {
        const char* what;
        DWORD type;
        std::string bytes;
        std::int32_t status;
        std::string text;
    } cases[] = {
        {"cut at its NUL, blanks trimmed", REG_SZ, "  1.9.0  \0x"s, 0, "1.9.0"},
        {"stored without a NUL", REG_SZ, "C:\\Orvexa\t"s, 0, "C:\\Orvexa\t"},
        {"254 characters and the NUL fit", REG_SZ, std::string(254, 'a') + '\0', 0,
         std::string(254, 'a')},
        {"255 characters do not", REG_SZ, std::string(255, 'a') + '\0', -1, ""},
        {"another type, its raw bytes", REG_BINARY, "1.9.1"s, 0, "1.9.1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto key = RegKey::create(HKEY_LOCAL_MACHINE, kKey);
        for (const char* name : {"Version", "Installpath"})
            ASSERT_EQ(RegSetValueExA(key.get(), name, 0, c.type,
                                     reinterpret_cast<const BYTE*>(c.bytes.data()),
                                     static_cast<DWORD>(c.bytes.size())),
                      ERROR_SUCCESS);
        std::string version = "stale", path = "stale";
        EXPECT_EQ(update::GetInstalledVersion(version), c.status);
        EXPECT_EQ(version, c.text);
        EXPECT_EQ(update::GetInstallPath(path), c.status);
        EXPECT_EQ(path, c.text);
    }
}

TEST_F(RegistryRecord, MissingKeyOrValueReadsNothingAndTheWriteMakesNoKey) {
    std::string text = "stale";
    EXPECT_EQ(update::GetInstalledVersion(text), -1);
    EXPECT_EQ(text, "");
    EXPECT_FALSE(update::SetInstalledVersion("1.9.2"));
    EXPECT_FALSE(RegKey::open(HKEY_LOCAL_MACHINE, kKey));

    RegKey::create(HKEY_LOCAL_MACHINE, kKey).setString(L"Version", L"1.8.2");
    EXPECT_EQ(update::GetInstallPath(text), -1);
    ASSERT_TRUE(update::SetInstalledVersion("1.9.2"));
    EXPECT_EQ(update::GetInstalledVersion(text), 0);
    EXPECT_EQ(text, "1.9.2");
}

}  // namespace
