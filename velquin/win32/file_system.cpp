#include "win32/file_system.hpp"

#include "common/core/trace.hpp"

#include <windows.h>

#include <vector>

namespace velquin::win32 {

std::optional<std::wstring> Win32Files::FullPath(const std::wstring& path) {
    const DWORD required = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (required == 0) {
        common::trace(common::win32Failure(L"GetFullPathNameW", GetLastError()));
        return std::nullopt;
    }
    std::vector<wchar_t> buffer(required);
    const DWORD length = GetFullPathNameW(path.c_str(), required, buffer.data(), nullptr);
    if (length == 0 || length >= required) {
        common::trace(common::win32Failure(L"GetFullPathNameW", GetLastError()));
        return std::nullopt;
    }
    return std::wstring(buffer.data(), length);
}

bool Win32Files::IsExistingFile(const std::wstring& fullPath) {
    const DWORD attributes = GetFileAttributesW(fullPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        common::trace(common::win32Failure(L"GetFileAttributesW", GetLastError()));
        return false;
    }
    return !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace velquin::win32
