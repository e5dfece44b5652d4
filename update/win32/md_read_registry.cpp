#include "win32/md_read_registry.hpp"

#include "core/registry_value.hpp"

#include "common/core/trace.hpp"
#include "common/win32/failed_call.hpp"
#include "common/win32/unique_any.hpp"

#include <windows.h>

namespace update {
namespace {

using common::win32::UniqueKey;

// The record's key, never created here. The key counts as open exactly when
// a handle came back, whatever the call returned.
common::Result<UniqueKey> openRecordKey() {
    UniqueKey key;
    const LSTATUS rc = RegOpenKeyA(HKEY_LOCAL_MACHINE, registryKeyPath, key.put());
    if (!key) return FAILED_STATUS(RegOpenKeyA, rc);
    return key;
}

common::Result<std::string> readValue(const char* name) {
    const auto key = openRecordKey();
    if (!key) return key.failure();
    std::string buffer = makeRegistryQueryBuffer();
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(buffer.size());
    const LSTATUS rc = RegQueryValueExA(key->get(), name, nullptr, &type,
                                        reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (rc != ERROR_SUCCESS) return FAILED_STATUS(RegQueryValueExA, rc);
    return decodeRegistryValue(buffer);
}

}  // namespace

common::Result<std::string> GetInstalledVersion() { return readValue(versionValueName); }

common::Result<std::string> GetInstallPath() { return readValue(installPathValueName); }

// A failure may leave the version written all the same; the install step
// records the version it replaced again when it undoes a run.
common::Result<> SetInstalledVersion(const std::string& version) {
    const auto key = openRecordKey();
    if (!key) return key.failure();
    const std::string data = encodeRegistryString(version);
    const LSTATUS rc =
        RegSetValueExA(key->get(), versionValueName, 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
    if (rc != ERROR_SUCCESS) return FAILED_STATUS(RegSetValueExA, rc);
    if (const LSTATUS flushed = RegFlushKey(key->get()); flushed != ERROR_SUCCESS)
        return FAILED_STATUS(RegFlushKey, flushed);
    return {};
}

}  // namespace update
