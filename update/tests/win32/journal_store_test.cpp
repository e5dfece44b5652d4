// The install's journals in the registry, under the product's key.
#include "win32/journal_store.hpp"

#include "ui_harness.hpp"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

namespace {

using ui_harness::RegKey;

const wchar_t productKey[] = L"SOFTWARE\\KVB\\Orvexa";

class JournalStore : public ::testing::Test {
protected:
    void SetUp() override { RegKey::deleteTree(HKEY_LOCAL_MACHINE, productKey); }
    void TearDown() override { RegKey::deleteTree(HKEY_LOCAL_MACHINE, productKey); }
};

// The install's journals round trip through their key, which the store
// makes so that only administrators may change it, with the first journal,
// and removes with the last; a key, or a run's key,
// that anyone else owns or may change is refused before anything in it is
// read.
TEST_F(JournalStore, JournalsAreReadOnlyFromKeysOnlyAdministratorsMayChange) {
    const std::wstring journals = std::wstring(productKey) + L"\\Update journals";
    {
        update::RegistryJournalStore store;
        ASSERT_TRUE(store.create("run1", "C:\\Orvexa", "first\r\n"));
        EXPECT_FALSE(store.create("run1", "C:\\Orvexa", "again\r\n"));
        ASSERT_TRUE(store.write("run1", "first\r\nsecond\r\n"));
        EXPECT_EQ(*store.journalsOf("c:\\ORVEXA"), std::vector<std::string>{"run1"});
        EXPECT_TRUE(store.journalsOf("C:\\Other")->empty());
        EXPECT_EQ(*store.read("run1"), "first\r\nsecond\r\n");
        ASSERT_TRUE(store.create("run2", "C:\\Orvexa", "other\r\n"));
        ASSERT_TRUE(store.remove("run1"));
        EXPECT_TRUE(RegKey::open(HKEY_LOCAL_MACHINE, journals));
        ASSERT_TRUE(store.remove("run2"));
        EXPECT_FALSE(RegKey::open(HKEY_LOCAL_MACHINE, journals));
        EXPECT_TRUE(store.journalsOf("C:\\Orvexa")->empty());
        EXPECT_FALSE(RegKey::open(HKEY_LOCAL_MACHINE, journals));
    }
    const std::wstring admins = L"(A;CI;KA;;;SY)(A;CI;KA;;;BA)";
    for (const auto& [parent, run, trusted] : {
             std::tuple{L"O:BAD:P" + admins, L"O:BAD:P" + admins, true},
             {L"O:BAD:P" + admins + L"(A;CI;KR;;;BU)", L"O:BAD:P" + admins, true},
             {L"O:BUD:P" + admins, L"O:BAD:P" + admins, false},
             {L"O:BAD:P" + admins + L"(A;CI;KW;;;BU)", L"O:BAD:P" + admins, false},
             {L"O:BAD:P" + admins + L"(A;CI;KA;;;WD)", L"O:BAD:P" + admins, false},
             {L"O:BAD:P" + admins, L"O:BUD:P" + admins, false},
         }) {
        SCOPED_TRACE(ui_harness::narrow(parent + L" " + run));
        RegKey::deleteTree(HKEY_LOCAL_MACHINE, productKey);
        for (const auto& [name, sddl] : {std::pair{journals, parent}, {journals + L"\\x", run}}) {
            const auto key = RegKey::create(HKEY_LOCAL_MACHINE, name);
            if (name != journals) key.setString(L"Folder", L"C:\\Orvexa");
            // Set apart from the creation, which Wine makes with its own descriptor.
            PSECURITY_DESCRIPTOR descriptor = nullptr;
            ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
                sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr));
            BOOL present = FALSE, defaulted = FALSE;
            PSID owner = nullptr;
            PACL dacl = nullptr;
            GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
            GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
            EXPECT_EQ(SetSecurityInfo(key.get(), SE_REGISTRY_KEY,
                                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                          PROTECTED_DACL_SECURITY_INFORMATION,
                                      owner, nullptr, dacl, nullptr),
                      static_cast<DWORD>(ERROR_SUCCESS));
            LocalFree(descriptor);
        }
        update::RegistryJournalStore store;
        EXPECT_EQ(static_cast<bool>(store.journalsOf("C:\\Orvexa")), trusted);
    }
}

}  // namespace
