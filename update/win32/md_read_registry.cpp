#include "win32/md_read_registry.hpp"

#include "core/registry_value.hpp"

#include "common/core/trace.hpp"
#include "common/win32/unique_any.hpp"

#include <windows.h>

namespace update {
namespace {

using common::win32::unique_hkey;

// The record's key, never created here. The key counts as open exactly when
// a handle came back; the return code only goes to the trace.
unique_hkey openRecordKey() {
    unique_hkey key;
    const LONG rc =
        RegOpenKeyA(HKEY_LOCAL_MACHINE, std::string(kRegistryKeyPath).c_str(), key.put());
    if (!key) common::trace(common::win32Failure(L"RegOpenKeyA", static_cast<std::uint32_t>(rc)));
    return key;
}

std::int32_t readValue(std::string_view name, std::string& out) {
    out.clear();
    const unique_hkey key = openRecordKey();
    if (!key) return kRegistryStatusNotRead;
    std::string buffer = makeRegistryQueryBuffer();
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(buffer.size());
    const LONG rc = RegQueryValueExA(key.get(), std::string(name).c_str(), nullptr, &type,
                                     reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (rc != ERROR_SUCCESS) {
        common::trace(common::win32Failure(L"RegQueryValueExA", static_cast<std::uint32_t>(rc)));
    }
    RegistryRead read = decodeRegistryValue(buffer, rc);
    out = std::move(read.text);
    return read.status;
}

}  // namespace

std::int32_t GetInstalledVersion(std::string& version) {
    return readValue(kVersionValueName, version);
}

std::int32_t GetInstallPath(std::string& installPath) {
    return readValue(kInstallPathValueName, installPath);
}

bool SetInstalledVersion(const std::string& version) {
    const unique_hkey key = openRecordKey();
    if (!key) return false;
    const std::string data = encodeRegistryString(version);
    const LONG rc =
        RegSetValueExA(key.get(), std::string(kVersionValueName).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
    if (rc != ERROR_SUCCESS) {
        common::trace(common::win32Failure(L"RegSetValueExA", static_cast<std::uint32_t>(rc)));
        return false;
    }
    const LONG flushed = RegFlushKey(key.get());
    if (flushed == ERROR_SUCCESS) return true;
    common::trace(common::win32Failure(L"RegFlushKey", static_cast<std::uint32_t>(flushed)));
    return false;
}

}  // namespace update
