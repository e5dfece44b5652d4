#include "win32/journal_store.hpp"

#include "core/install_journal.hpp"
#include "win32/folder_walk.hpp"
#include "win32/object_control.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"
#include "common/win32/ansi_text.hpp"
#include "common/win32/failed_call.hpp"

#include <aclapi.h>
#include <sddl.h>
#include <windows.h>

namespace update {
namespace {

using common::Result;
using common::win32::UniqueKey;
using common::win32::UniqueLocal;

constexpr wchar_t journalsKey[] = L"SOFTWARE\\KVB\\Orvexa\\Update journals";
// Owned by Administrators; SYSTEM and Administrators alone have any access,
// to this key and to the keys made in it; nothing inherited from above.
constexpr wchar_t journalsDescriptor[] = L"O:BAD:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)";
constexpr wchar_t folderValue[] = L"Folder";
constexpr wchar_t journalValue[] = L"Journal";
constexpr REGSAM changingAccess = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE |
                                  WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

Result<UniqueLocal> journalsSecurity() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(journalsDescriptor, SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return FAILED_CALL(ConvertStringSecurityDescriptorToSecurityDescriptorW);
    return UniqueLocal(descriptor);
}

common::Failure distrusted(const std::wstring& key) {
    return common::stopFailure(L"Update",
                               L"the install's journals may have been changed by others: " + key);
}

// Only SYSTEM and Administrators may own the journals' keys or change them.
bool isAdministrative(PSID sid) {
    return IsWellKnownSid(sid, WinLocalSystemSid) ||
           IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

Result<> onlyAdministratorsMayChange(HKEY key, const std::wstring& name) {
    const auto takeover =
        takeoverOf(key, SE_REGISTRY_KEY, name, {changingAccess, isAdministrative});
    if (!takeover) return takeover.failure();
    if (*takeover) return distrusted(name);
    return {};
}

std::wstring runKeyName(const std::string& id) {
    return std::wstring(journalsKey) + L"\\" + common::asciiToWide(id);
}

// REG_SZ or REG_BINARY data, at most 64 KiB; empty when the value is missing.
Result<std::string> readBytes(HKEY key, const wchar_t* value, const std::wstring& name) {
    std::string data(64 * 1024, '\0');
    DWORD size = static_cast<DWORD>(data.size());
    const LSTATUS rc =
        RegQueryValueExW(key, value, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size);
    if (rc == ERROR_FILE_NOT_FOUND) return std::string();
    if (rc != ERROR_SUCCESS) return FAILED_STATUS(RegQueryValueExW, rc).about(name);
    data.resize(size);
    return data;
}

Result<> setBytes(HKEY key, const wchar_t* value, DWORD type, const void* data, std::size_t size,
                  const std::wstring& name) {
    const LSTATUS rc = RegSetValueExW(key, value, 0, type, static_cast<const BYTE*>(data),
                                      static_cast<DWORD>(size));
    if (rc != ERROR_SUCCESS) return FAILED_STATUS(RegSetValueExW, rc).about(name);
    return {};
}

Result<> flushed(HKEY key, const std::wstring& name) {
    if (const LSTATUS rc = RegFlushKey(key); rc != ERROR_SUCCESS)
        return FAILED_STATUS(RegFlushKey, rc).about(name);
    return {};
}

Result<> writeJournal(HKEY run, const std::string& text, const std::wstring& name) {
    if (auto set = setBytes(run, journalValue, REG_BINARY, text.data(), text.size(), name); !set)
        return set;
    return flushed(run, name);
}

// The journals' key, made with its own descriptor where asked to and it is
// not there yet.
Result<UniqueKey> journalsKeyOf(bool make) {
    UniqueKey key;
    if (!make) {
        const LSTATUS rc =
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, journalsKey, 0, KEY_READ | KEY_WRITE, key.put());
        if (rc != ERROR_SUCCESS) return FAILED_STATUS(RegOpenKeyExW, rc).about(journalsKey);
        return key;
    }
    const auto descriptor = journalsSecurity();
    if (!descriptor) return descriptor.failure();
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor->get(), FALSE};
    const LSTATUS rc =
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, journalsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, &attributes, key.put(), nullptr);
    if (rc != ERROR_SUCCESS) return FAILED_STATUS(RegCreateKeyExW, rc).about(journalsKey);
    return key;
}

}  // namespace

Result<HKEY> RegistryJournalStore::journals(bool make) {
    if (journals_) return journals_.get();
    auto key = journalsKeyOf(make);
    if (!key) return key.failure();
    if (auto trusted = onlyAdministratorsMayChange(key->get(), journalsKey); !trusted)
        return trusted.failure();
    journals_ = std::move(*key);
    return journals_.get();
}

Result<UniqueKey> RegistryJournalStore::openRun(const std::string& id, REGSAM access) {
    const auto parent = journals(false);
    if (!parent) return parent.failure();
    UniqueKey run;
    const std::wstring name = runKeyName(id);
    const LSTATUS rc = RegOpenKeyExW(*parent, common::asciiToWide(id).c_str(), 0,
                                     access | READ_CONTROL, run.put());
    if (rc != ERROR_SUCCESS) return FAILED_STATUS(RegOpenKeyExW, rc).about(name);
    if (auto trusted = onlyAdministratorsMayChange(run.get(), name); !trusted)
        return trusted.failure();
    return run;
}

Result<std::vector<std::string>> RegistryJournalStore::journalsOf(const std::string& folder) {
    const auto parent = journals(false);
    if (!parent && notFound(parent.failure()))
        return std::vector<std::string>();  // no run has written a journal yet
    if (!parent) return parent.failure();
    const std::wstring wanted = common::win32::ansiToWide(folder);
    std::vector<std::string> ids;
    for (DWORD i = 0;; ++i) {
        wchar_t subkey[256];
        DWORD length = 256;
        const LSTATUS rc =
            RegEnumKeyExW(*parent, i, subkey, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) return ids;
        if (rc != ERROR_SUCCESS) return FAILED_STATUS(RegEnumKeyExW, rc).about(journalsKey);
        const std::string id = common::win32::wideToAnsi(subkey);
        const auto run = openRun(id, KEY_READ);
        if (!run) return run.failure();
        const auto bytes = readBytes(run->get(), folderValue, runKeyName(id));
        if (!bytes) return bytes.failure();
        const std::wstring found(reinterpret_cast<const wchar_t*>(bytes->data()),
                                 bytes->size() / sizeof(wchar_t));
        if (CompareStringOrdinal(found.c_str(),
                                 static_cast<int>(wcsnlen(found.c_str(), found.size())),
                                 wanted.c_str(), -1, TRUE) == CSTR_EQUAL)
            ids.push_back(id);
    }
}

Result<std::string> RegistryJournalStore::read(const std::string& id) {
    const auto run = openRun(id, KEY_READ);
    if (!run) return run.failure();
    return readBytes(run->get(), journalValue, runKeyName(id));
}

FileSystem::Result RegistryJournalStore::create(const std::string& id, const std::string& folder,
                                                const std::string& text) {
    const auto parent = journals(true);
    if (!parent) return parent.failure();
    const std::wstring name = runKeyName(id);
    // Its own owner and entries, as its parent's: a key made without them
    // would take its owner from the token, which may be an administrator's
    // own account, and then fail the check that every later run makes.
    const auto descriptor = journalsSecurity();
    if (!descriptor) return descriptor.failure();
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor->get(), FALSE};
    UniqueKey run;
    DWORD disposition = 0;
    const LSTATUS rc = RegCreateKeyExW(*parent, common::asciiToWide(id).c_str(), 0, nullptr,
                                       REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, &attributes,
                                       run.put(), &disposition);
    if (rc != ERROR_SUCCESS) return FAILED_STATUS(RegCreateKeyExW, rc).about(name);
    if (disposition != REG_CREATED_NEW_KEY)
        return common::stopFailure(L"Update", L"a journal of this run's id exists: " + name);
    // The folder first: a run cut off before its text names a journal that
    // did nothing, which the next run removes.
    const std::wstring wide = common::win32::ansiToWide(folder);
    common::Result<> made = setBytes(run.get(), folderValue, REG_SZ, wide.c_str(),
                                     (wide.size() + 1) * sizeof(wchar_t), name);
    if (made) made = writeJournal(run.get(), text, name);
    if (made) return made;
    if (const LSTATUS gone = RegDeleteKeyW(*parent, common::asciiToWide(id).c_str()); gone)
        common::trace(FAILED_STATUS(RegDeleteKeyW, gone).about(name));
    return made;
}

FileSystem::Result RegistryJournalStore::write(const std::string& id, const std::string& text) {
    const auto run = openRun(id, KEY_SET_VALUE);
    if (!run) return run.failure();
    return writeJournal(run->get(), text, runKeyName(id));
}

FileSystem::Result RegistryJournalStore::remove(const std::string& id) {
    const auto parent = journals(false);
    if (!parent) return parent.failure();
    const std::wstring name = runKeyName(id);
    if (const LSTATUS rc = RegDeleteKeyW(*parent, common::asciiToWide(id).c_str());
        rc != ERROR_SUCCESS)
        return FAILED_STATUS(RegDeleteKeyW, rc).about(name);
    if (auto done = flushed(*parent, name); !done) return done;
    // The last journal takes the journals' key with it, so that nothing of
    // the install outlives the product's own keys.
    DWORD runs = 0;
    if (const LSTATUS rc = RegQueryInfoKeyW(*parent, nullptr, nullptr, nullptr, &runs, nullptr,
                                            nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
        rc != ERROR_SUCCESS)
        return FAILED_STATUS(RegQueryInfoKeyW, rc).about(journalsKey);
    if (runs != 0) return {};
    journals_.reset();
    if (const LSTATUS rc = RegDeleteKeyW(HKEY_LOCAL_MACHINE, journalsKey); rc != ERROR_SUCCESS)
        return FAILED_STATUS(RegDeleteKeyW, rc).about(journalsKey);
    return {};
}

}  // namespace update
