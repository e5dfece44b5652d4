#include "ui_harness.hpp"

namespace ui_harness {

static void check(LSTATUS status, const std::wstring& what) {
    if (status != ERROR_SUCCESS)
        throw HarnessError(what + L" failed (error " + std::to_wstring(status) + L")");
}

RegKey RegKey::create(HKEY root, const std::wstring& subKey, REGSAM access) {
    common::win32::unique_hkey key;
    check(RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, access, nullptr, key.put(), nullptr),
          L"creating the key " + subKey);
    return RegKey(std::move(key));
}

std::optional<RegKey> RegKey::open(HKEY root, const std::wstring& subKey, REGSAM access) {
    common::win32::unique_hkey key;
    if (RegOpenKeyExW(root, subKey.c_str(), 0, access, key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    return RegKey(std::move(key));
}

void RegKey::deleteTree(HKEY root, const std::wstring& subKey, REGSAM view) {
    auto key = open(root, subKey, KEY_ALL_ACCESS | view);
    if (!key) return;
    RegDeleteTreeW(key->get(), nullptr);
    key.reset();
    RegDeleteKeyExW(root, subKey.c_str(), view, 0);
}

void RegKey::setString(const std::wstring& name, const std::wstring& value) const {
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    check(RegSetValueExW(key_.get(), name.c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(value.c_str()), bytes),
          L"writing the value " + name);
}

void RegKey::setRaw(const std::wstring& name, DWORD type, const std::string& bytes) const {
    check(RegSetValueExW(key_.get(), name.c_str(), 0, type,
                         reinterpret_cast<const BYTE*>(bytes.data()),
                         static_cast<DWORD>(bytes.size())),
          L"writing the value " + name);
}

std::optional<std::wstring> RegKey::readString(const std::wstring& name) const {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key_.get(), name.c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.resize(wcsnlen(value.c_str(), size / sizeof(wchar_t)));
    return value;
}

std::map<std::wstring, RegKey::Value> RegKey::values() const {
    std::map<std::wstring, Value> result;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD nameLength = 16384;
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueW(key_.get(), index, name, &nameLength, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS)
            break;
        std::string bytes(size, '\0');
        nameLength = 16384;
        RegEnumValueW(key_.get(), index, name, &nameLength, nullptr, &type,
                      reinterpret_cast<BYTE*>(bytes.data()), &size);
        bytes.resize(size);
        result[std::wstring(name, nameLength)] = {type, bytes};
    }
    return result;
}

}  // namespace ui_harness
