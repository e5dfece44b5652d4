#include "win32/remove_folder_tree.hpp"

#include "common/core/trace.hpp"
#include "common/win32/unique_any.hpp"

#include <windows.h>

namespace update {
namespace {

bool isLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
bool isFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// The removal goes on past a failed call, so each one is traced where it happens.
bool traceFailure(const wchar_t* call) {
    common::trace(common::win32Failure(call, GetLastError()));
    return false;
}

bool removeItem(const std::wstring& path, DWORD attributes) {
    if (isFolder(attributes)) {
        return RemoveDirectoryW(path.c_str()) || traceFailure(L"RemoveDirectoryW");
    }
    return DeleteFileW(path.c_str()) || traceFailure(L"DeleteFileW");
}

bool removeWritable(const std::wstring& path, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) &&
        !SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
        traceFailure(L"SetFileAttributesW");
    }
    return removeItem(path, attributes);
}

bool removeContents(const std::wstring& folder);

bool removeEntry(const std::wstring& path, DWORD attributes) {
    // A link goes by itself, attributes untouched: changing them through a
    // link would change its target.
    if (isLink(attributes)) return removeItem(path, attributes);
    if (isFolder(attributes)) {
        const bool emptied = removeContents(path);
        return removeWritable(path, attributes) && emptied;
    }
    return removeWritable(path, attributes);
}

// Goes on past an entry that cannot be removed, so as much as possible is
// gone; the result still reports the failure.
bool removeContents(const std::wstring& folder) {
    WIN32_FIND_DATAW entry{};
    const common::win32::unique_hfind find(FindFirstFileW((folder + L"\\*").c_str(), &entry));
    if (!find) return traceFailure(L"FindFirstFileW");
    bool allRemoved = true;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        if (!removeEntry(folder + L"\\" + name, entry.dwFileAttributes)) allRemoved = false;
    } while (FindNextFileW(find.get(), &entry));
    if (GetLastError() != ERROR_NO_MORE_FILES) return traceFailure(L"FindNextFileW");
    return allRemoved;
}

}  // namespace

bool removeFolderTree(const std::wstring& folder) {
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return traceFailure(L"GetFileAttributesW");
    if (!isFolder(attributes)) {
        common::trace(L"removeFolderTree: not a folder");
        return false;
    }
    return removeEntry(folder, attributes);
}

}  // namespace update
