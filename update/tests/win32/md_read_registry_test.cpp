// The record read and written through the ANSI registry calls of the prefix,
// with values stored as single-byte text the way those calls store them.
#include "win32/md_read_registry.hpp"

#include "ui_harness.hpp"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;
using ui_harness::RegKey;

const wchar_t productKey[] = L"SOFTWARE\\KVB\\Orvexa";

// The text read, or the call that failed in angle brackets.
std::string outcome(const common::Result<std::string>& read) {
    return read ? *read : std::string("<").append(ui_harness::narrow(read.failure().call)) + ">";
}

class RegistryRecord : public ::testing::Test {
protected:
    void SetUp() override { RegKey::deleteTree(HKEY_LOCAL_MACHINE, productKey); }
    void TearDown() override { RegKey::deleteTree(HKEY_LOCAL_MACHINE, productKey); }
};

TEST_F(RegistryRecord, BothValuesReadAsTheQueryLeavesThem) {
    const struct {
        const char* what;
        DWORD type;
        std::string bytes, outcome;
    } cases[] = {
        {"cut at its NUL, blanks trimmed", REG_SZ, "  1.9.0  \0x"s, "1.9.0"},
        {"stored without a NUL", REG_SZ, "C:\\Orvexa\t"s, "C:\\Orvexa\t"},
        {"nothing but blanks", REG_SZ, "   \0"s, ""},
        {"254 characters and the NUL fit", REG_SZ, std::string(254, 'a') + '\0',
         std::string(254, 'a')},
        {"255 characters do not", REG_SZ, std::string(255, 'a') + '\0', "<RegQueryValueExA>"},
        {"another type, its raw bytes", REG_BINARY, "1.9.1"s, "1.9.1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto key = RegKey::create(HKEY_LOCAL_MACHINE, productKey);
        for (const char* name : {"Version", "Installpath"})
            ASSERT_EQ(RegSetValueExA(key.get(), name, 0, c.type,
                                     reinterpret_cast<const BYTE*>(c.bytes.data()),
                                     static_cast<DWORD>(c.bytes.size())),
                      ERROR_SUCCESS);
        EXPECT_EQ(outcome(update::GetInstalledVersion()), c.outcome);
        EXPECT_EQ(outcome(update::GetInstallPath()), c.outcome);
    }
}

TEST_F(RegistryRecord, MissingKeyOrValueReadsNothingAndTheWriteMakesNoKey) {
    EXPECT_EQ(outcome(update::GetInstalledVersion()), "<RegOpenKeyA>");
    EXPECT_FALSE(update::SetInstalledVersion("1.9.2"));
    EXPECT_FALSE(RegKey::open(HKEY_LOCAL_MACHINE, productKey));

    RegKey::create(HKEY_LOCAL_MACHINE, productKey).setString(L"Version", L"1.8.2");
    EXPECT_EQ(outcome(update::GetInstallPath()), "<RegQueryValueExA>");
    ASSERT_TRUE(update::SetInstalledVersion("1.9.2"));
    EXPECT_EQ(outcome(update::GetInstalledVersion()), "1.9.2");
}

}  // namespace
