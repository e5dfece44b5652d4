#include "win32/durable_files.hpp"

#include "common/core/trace.hpp"
#include "common/win32/unique_any.hpp"

#include <windows.h>

#include <functional>

namespace update {
namespace {

using common::win32::unique_hfile;
using common::win32::unique_hfind;

// Traces the failed call with the path it was given; always false.
bool failed(const wchar_t* call, const std::wstring& path) {
    const DWORD code = GetLastError();
    common::trace(common::win32Failure(call, code).text() + L": " + path);
    return false;
}

bool isLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
bool isFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

using Visit = std::function<bool(const std::wstring&, DWORD)>;

// Calls `visit` with every file and link under the folder, depth first, and
// with every folder once its contents were visited when `folders` is set;
// stops at the first false.
bool forEachEntry(const std::wstring& folder, const Visit& visit, bool folders) {
    {
        WIN32_FIND_DATAW entry{};
        const unique_hfind find(FindFirstFileW((folder + L"\\*").c_str(), &entry));
        if (!find) return failed(L"FindFirstFileW", folder);
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            const DWORD attributes = entry.dwFileAttributes;
            const bool ok = isFolder(attributes) && !isLink(attributes)
                                ? forEachEntry(path, visit, folders)
                                : visit(path, attributes);
            if (!ok) return false;
        } while (FindNextFileW(find.get(), &entry));
        if (GetLastError() != ERROR_NO_MORE_FILES) return failed(L"FindNextFileW", folder);
    }
    // Once its own listing is closed, which would otherwise hold the folder.
    return !folders || visit(folder, FILE_ATTRIBUTE_DIRECTORY);
}

bool flushFile(const std::wstring& path, DWORD attributes) {
    if (isLink(attributes)) return true;  // not ours to write to
    // Writing, and so flushing, needs the read-only mark off for a moment.
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && !SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
        return failed(L"SetFileAttributesW", path);
    }
    bool ok;
    {
        const unique_hfile file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ok = file ? FlushFileBuffers(file.get()) || failed(L"FlushFileBuffers", path)
                  : failed(L"CreateFileW", path);
    }
    if (readOnly && !SetFileAttributesW(path.c_str(), attributes)) {
        return failed(L"SetFileAttributesW", path);
    }
    return ok;
}

}  // namespace

bool renameDurably(const std::wstring& from, const std::wstring& to) {
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) ||
           failed(L"MoveFileExW", from + L" -> " + to);
}

bool flushToDisk(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return failed(L"GetFileAttributesW", path);
    if (isFolder(attributes) && !isLink(attributes)) return forEachEntry(path, &flushFile, false);
    return flushFile(path, attributes);
}

bool canRemoveTree(const std::wstring& folder) {
    return forEachEntry(
        folder,
        [](const std::wstring& path, DWORD) {
            const unique_hfile item(
                CreateFileW(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            return item || failed(L"CreateFileW for deletion", path);
        },
        true);
}

std::optional<std::string> readSmallFile(const std::wstring& path) {
    const unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        failed(L"CreateFileW", path);
        return std::nullopt;
    }
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (text.size() < 1024 * 1024) {
        if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
            failed(L"ReadFile", path);
            return std::nullopt;
        }
        if (got == 0) return text;
        text.append(buffer, got);
    }
    common::trace(L"too large to be ours: " + path);
    return std::nullopt;
}

bool appendDurably(const std::wstring& path, const std::string& text) {
    const unique_hfile file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!file) return failed(L"CreateFileW", path);
    LARGE_INTEGER end{};
    if (!SetFilePointerEx(file.get(), end, nullptr, FILE_END)) {
        return failed(L"SetFilePointerEx", path);
    }
    DWORD written = 0;
    if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size()) {
        return failed(L"WriteFile", path);
    }
    return FlushFileBuffers(file.get()) || failed(L"FlushFileBuffers", path);
}

}  // namespace update
