#include "win32/file_system.hpp"

#include "common/win32/failed_call.hpp"

#include <vector>

namespace velquin::win32 {

common::Result<std::wstring> Win32Files::existingFile(const std::wstring& path) {
    const DWORD required = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (required == 0) return FAILED_CALL(GetFullPathNameW).about(path);
    std::vector<wchar_t> buffer(required);
    const DWORD length = GetFullPathNameW(path.c_str(), required, buffer.data(), nullptr);
    if (length == 0 || length >= required) return FAILED_CALL(GetFullPathNameW).about(path);
    std::wstring fullPath(buffer.data(), length);

    const DWORD attributes = GetFileAttributesW(fullPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FAILED_CALL(GetFileAttributesW).about(fullPath);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return FAILED_STATUS(GetFileAttributesW, ERROR_FILE_NOT_FOUND).about(fullPath);
    return fullPath;
}

}  // namespace velquin::win32
