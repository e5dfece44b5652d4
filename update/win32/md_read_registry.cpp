#include "md_read_registry.hpp"

#include "registry_value.hpp"

#include <windows.h>

namespace update {
namespace {

// Owns an open registry key; the key is closed on every path.
class RegistryKey {
public:
    RegistryKey() {
        HKEY opened = nullptr;
        // The return code is not examined: the key counts as open exactly when a
        // handle came back.
        RegOpenKeyA(HKEY_LOCAL_MACHINE, std::string(kRegistryKeyPath).c_str(), &opened);
        key_ = opened;
    }
    ~RegistryKey() {
        if (key_) RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::int32_t readValue(std::string_view name, std::string& out) {
    out.clear();
    RegistryKey key;
    if (!key.get()) return kRegistryStatusNotRead;
    std::string buffer = makeRegistryQueryBuffer();
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(buffer.size());
    const LONG rc = RegQueryValueExA(key.get(), std::string(name).c_str(), nullptr, &type,
                                     reinterpret_cast<BYTE*>(buffer.data()), &size);
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
    RegistryKey key;
    if (!key.get()) return false;  // never create the key
    const std::string data = encodeRegistryString(version);
    return RegSetValueExA(key.get(), std::string(kVersionValueName).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

}  // namespace update
