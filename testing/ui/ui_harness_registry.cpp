#include "ui_harness.hpp"

namespace ui_harness {

static void check(LSTATUS status, const std::wstring& what) {
    if (status != ERROR_SUCCESS)
        throw HarnessError(what + L" failed (error " + std::to_wstring(status) + L")");
}

RegKey RegKey::create(HKEY root, const std::wstring& subKey) {
    common::win32::UniqueKey key;
    check(RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                          nullptr),
          L"creating the key " + subKey);
    return RegKey(std::move(key));
}

std::optional<RegKey> RegKey::open(HKEY root, const std::wstring& subKey, REGSAM access) {
    common::win32::UniqueKey key;
    if (RegOpenKeyExW(root, subKey.c_str(), 0, access, key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    return RegKey(std::move(key));
}

void RegKey::deleteTree(HKEY root, const std::wstring& subKey) {
    RegDeleteTreeW(root, subKey.c_str());
}

void RegKey::setString(const std::wstring& name, const std::wstring& value) const {
    setRaw(name, REG_SZ,
           std::string(reinterpret_cast<const char*>(value.c_str()),
                       (value.size() + 1) * sizeof(wchar_t)));
}

void RegKey::setRaw(const std::wstring& name, DWORD type, const std::string& bytes) const {
    check(RegSetValueExW(key_.get(), name.c_str(), 0, type,
                         reinterpret_cast<const BYTE*>(bytes.data()),
                         static_cast<DWORD>(bytes.size())),
          L"writing the value " + name);
}

std::optional<std::wstring> RegKey::readString(const std::wstring& name) const {
    const auto all = values();
    const auto found = all.find(name);
    if (found == all.end() || found->second.type != REG_SZ) return std::nullopt;
    std::wstring value(found->second.bytes.size() / sizeof(wchar_t), L'\0');
    found->second.bytes.copy(reinterpret_cast<char*>(value.data()), value.size() * sizeof(wchar_t));
    return value.substr(0, value.find(L'\0'));
}

std::map<std::wstring, RegKey::Value> RegKey::values() const {
    std::map<std::wstring, Value> result;
    wchar_t name[16384];
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = 16384, type = 0, size = 0;
        if (RegEnumValueW(key_.get(), index, name, &nameLength, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS)
            return result;
        std::string bytes(size, '\0');
        nameLength = 16384;
        RegEnumValueW(key_.get(), index, name, &nameLength, nullptr, &type,
                      reinterpret_cast<BYTE*>(bytes.data()), &size);
        result[std::wstring(name, nameLength)] = {type, bytes.substr(0, size)};
    }
}

}  // namespace ui_harness
