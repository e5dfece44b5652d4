// Runs under Wine against the prefix's real registry.
#include "win32/md_read_registry.hpp"

#include "common/win32/unique_any.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

const char* const kKey = "SOFTWARE\\KVB\\Orvexa";

class RegistryRecord : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kKey); }
    void TearDown() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kKey); }

    static void put(const char* name, DWORD type, const std::string& bytes) {
        common::win32::unique_hkey key;
        ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, kKey, key.put()), ERROR_SUCCESS);
        ASSERT_EQ(
            RegSetValueExA(key.get(), name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                           static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
    }
    static bool keyExists() {
        common::win32::unique_hkey key;
        return RegOpenKeyA(HKEY_LOCAL_MACHINE, kKey, key.put()) == ERROR_SUCCESS;
    }
};

TEST_F(RegistryRecord, MissingKeyReadsNothingAndWritesNothing) {
    std::string text = "stale";
    EXPECT_EQ(update::GetInstalledVersion(text), -1);
    EXPECT_EQ(text, "");
    EXPECT_EQ(update::GetInstallPath(text), -1);
    EXPECT_FALSE(update::SetInstalledVersion("1.9.2"));
    EXPECT_FALSE(keyExists());
}

TEST_F(RegistryRecord, ValuesAreCutAtNulAndTrimmedOfBlanksOnly) {
    put("Version", REG_SZ, std::string("  1.9.0  \0x", 11));
    put("Installpath", REG_SZ, std::string("C:\\Orvexa\t", 10));  // no terminating NUL
    std::string version, path;
    EXPECT_EQ(update::GetInstalledVersion(version), 0);
    EXPECT_EQ(version, "1.9.0");
    EXPECT_EQ(update::GetInstallPath(path), 0);
    EXPECT_EQ(path, "C:\\Orvexa\t");
}

TEST_F(RegistryRecord, ValueMustFitTheBufferWithItsNul) {
    put("Installpath", REG_SZ, std::string(254, 'a') + '\0');
    std::string path;
    EXPECT_EQ(update::GetInstallPath(path), 0);
    EXPECT_EQ(path.size(), 254u);
    put("Installpath", REG_SZ, std::string(255, 'a') + '\0');
    EXPECT_EQ(update::GetInstallPath(path), -1);
    EXPECT_EQ(path, "");
}

TEST_F(RegistryRecord, OtherTypesAreReadAsRawBytesAndMissingValuesFail) {
    put("Version", REG_BINARY, std::string("1.9.1", 5));
    std::string version, path;
    EXPECT_EQ(update::GetInstalledVersion(version), 0);
    EXPECT_EQ(version, "1.9.1");
    EXPECT_EQ(update::GetInstallPath(path), -1);
}

TEST_F(RegistryRecord, WrittenVersionIsFiveCharactersAndOneNul) {
    put("Version", REG_SZ, std::string("1.8.2", 6));
    ASSERT_TRUE(update::SetInstalledVersion("1.9.2"));
    common::win32::unique_hkey key;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, kKey, key.put()), ERROR_SUCCESS);
    char data[16] = {};
    DWORD type = 0, size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(key.get(), "Version", nullptr, &type, reinterpret_cast<BYTE*>(data),
                               &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::string(data, size), std::string("1.9.2", 6));
    std::string version;
    EXPECT_EQ(update::GetInstalledVersion(version), 0);
    EXPECT_EQ(version, "1.9.2");
}

}  // namespace
