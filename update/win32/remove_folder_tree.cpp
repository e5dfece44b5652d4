#include "remove_folder_tree.hpp"

#include <windows.h>

namespace update {
namespace {

class FindHandle {
public:
    explicit FindHandle(HANDLE h) : handle_(h) {}
    ~FindHandle() {
        if (valid()) FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;

    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

bool isLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
bool isFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// Attributes are not touched here: changing them through a link would
// change its target.
bool removeLinkItself(const std::wstring& path, DWORD attributes) {
    return isFolder(attributes) ? RemoveDirectoryW(path.c_str()) != 0
                                : DeleteFileW(path.c_str()) != 0;
}

bool removeWritable(const std::wstring& path, DWORD attributes, BOOL(WINAPI* remove)(LPCWSTR)) {
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    return remove(path.c_str()) != 0;
}

bool removeContents(const std::wstring& folder);

bool removeEntry(const std::wstring& path, DWORD attributes) {
    if (isLink(attributes)) return removeLinkItself(path, attributes);
    if (isFolder(attributes)) {
        const bool emptied = removeContents(path);
        return removeWritable(path, attributes, &RemoveDirectoryW) && emptied;
    }
    return removeWritable(path, attributes, &DeleteFileW);
}

// Goes on past an entry that cannot be removed, so as much as possible is
// gone; the result still reports the failure.
bool removeContents(const std::wstring& folder) {
    WIN32_FIND_DATAW entry{};
    const FindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &entry));
    if (!find.valid()) return false;
    bool allRemoved = true;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        if (!removeEntry(folder + L"\\" + name, entry.dwFileAttributes)) allRemoved = false;
    } while (FindNextFileW(find.get(), &entry));
    return GetLastError() == ERROR_NO_MORE_FILES && allRemoved;
}

}  // namespace

bool removeFolderTree(const std::wstring& folder) {
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !isFolder(attributes)) return false;
    return removeEntry(folder, attributes);
}

}  // namespace update
