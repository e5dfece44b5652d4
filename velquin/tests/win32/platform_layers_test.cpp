// The SCM and file layers against Wine's real service database and files:
// what the fakes of the unit tests stand in for. The SetupAPI walk is proven
// where the program walks, in the end-to-end tests: present ports listed,
// every installed one cleaned, a long list read and written whole.
#include <gtest/gtest.h>

#include "core/driver_contract.h"
#include "tests/e2e/e2e_support.hpp"
#include "win32/file_system.hpp"
#include "win32/service_manager.hpp"

#include <string>

using namespace velquin;
using namespace velquin::win32;
using namespace velquin_e2e;
using ui_harness::RegKey;

TEST(ScmServices, InstallReconfiguresInPlaceAndDeleteIsDoneWhenAbsent) {
    ScmServices services;
    deleteFilterService();
    ASSERT_TRUE(services.remove(FILTER_DRIVER_NAME_W));  // absent is already done
    const auto absent = services.isInstalled();
    ASSERT_FALSE(absent);
    EXPECT_EQ(absent.failure().code, static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));

    ASSERT_TRUE(services.install(driverServiceSettings(L"C:\\drivers\\first.sys")));
    EXPECT_TRUE(services.isInstalled());
    // A value of the test's own tells a service changed in place from one made anew.
    const wchar_t* key = L"System\\CurrentControlSet\\Services\\kelPortHi";
    RegKey::open(HKEY_LOCAL_MACHINE, key, KEY_SET_VALUE).value().setString(L"Mark", L"kept");
    ASSERT_TRUE(services.install(driverServiceSettings(L"C:\\drivers\\second.sys")));
    const auto settings = readFilterServiceSettings();
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->imagePath, L"C:\\drivers\\second.sys");
    EXPECT_EQ(settings->type, static_cast<DWORD>(SERVICE_KERNEL_DRIVER));
    EXPECT_EQ(settings->start, static_cast<DWORD>(SERVICE_DEMAND_START));
    EXPECT_EQ(settings->errorControl, static_cast<DWORD>(SERVICE_ERROR_IGNORE));
    EXPECT_EQ(settings->displayName, L"KelPortHi filter driver");
    EXPECT_EQ(RegKey::open(HKEY_LOCAL_MACHINE, key).value().readString(L"Mark"), L"kept");

    EXPECT_TRUE(services.remove(FILTER_DRIVER_NAME_W));
    EXPECT_FALSE(services.isInstalled());
}

// Resolving a relative path is proven by the /register run of the end-to-end tests.
TEST(Win32Files, OnlyAnExistingFileCounts) {
    Win32Files files;
    wchar_t directory[MAX_PATH] = {};
    GetSystemDirectoryW(directory, MAX_PATH);
    const std::wstring kernel32 = std::wstring(directory) + L"\\kernel32.dll";
    const auto found = files.existingFile(kernel32);
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, kernel32);
    for (const std::wstring& path : {std::wstring(directory), kernel32 + L".sys", std::wstring()})
        EXPECT_FALSE(files.existingFile(path)) << ui_harness::narrow(path);
}
