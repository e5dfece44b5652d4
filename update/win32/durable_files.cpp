#include "win32/durable_files.hpp"

#include "common/core/text.hpp"
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
    std::wstring line = common::win32Failure(call, code).text();
    common::trace(line.append(L": ").append(path));
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

// Marks the item to go when its last handle closes, or no longer.
bool goesOnClose(HANDLE item, bool goes, const std::wstring& path) {
    FILE_DISPOSITION_INFO disposition{static_cast<BOOLEAN>(goes)};
    return SetFileInformationByHandle(item, FileDispositionInfo, &disposition,
                                      sizeof disposition) ||
           failed(L"SetFileInformationByHandle", path);
}

std::optional<std::string> identityOf(HANDLE item, const std::wstring& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(item, &info)) {
        failed(L"GetFileInformationByHandle", path);
        return std::nullopt;
    }
    std::string identity = common::hexText(info.dwVolumeSerialNumber);
    return identity.append("-")
        .append(common::hexText(info.nFileIndexHigh))
        .append(common::hexText(info.nFileIndexLow));
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
    std::string text(64 * 1024, '\0');
    DWORD got = 0;
    for (std::size_t size = 0;; size += got) {
        const DWORD wanted = static_cast<DWORD>(text.size() - size);
        if (!ReadFile(file.get(), text.data() + size, wanted, &got, nullptr)) {
            failed(L"ReadFile", path);
            return std::nullopt;
        }
        if (got == 0 || got == wanted) {
            text.resize(size + got);
            return text;
        }
    }
}

bool writeDurably(const std::wstring& path, std::size_t offset, const std::string& text) {
    const bool create = offset == 0;
    const unique_hfile file(
        CreateFileW(path.c_str(), GENERIC_WRITE | (create ? DELETE : 0), FILE_SHARE_READ, nullptr,
                    create ? CREATE_NEW : OPEN_EXISTING, FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!file) return failed(L"CreateFileW", path);
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD written = 0;
    return (!create || goesOnClose(file.get(), true, path)) &&
           (SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) ||
            failed(L"SetFilePointerEx", path)) &&
           ((WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written,
                       nullptr) &&
             written == text.size()) ||
            failed(L"WriteFile", path)) &&
           (SetEndOfFile(file.get()) || failed(L"SetEndOfFile", path)) &&
           (FlushFileBuffers(file.get()) || failed(L"FlushFileBuffers", path)) &&
           (!create || goesOnClose(file.get(), false, path));
}

bool claimName(const std::wstring& path, bool folder,
               const std::function<bool(const std::string& identity)>& keep) {
    if (folder && !CreateDirectoryW(path.c_str(), nullptr))
        return failed(L"CreateDirectoryW", path);
    // Sharing all, so another program that looks at the new item meanwhile
    // does not make the claim fail.
    unique_hfile item(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  folder ? OPEN_EXISTING : CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const bool made = folder || item;
    const bool marked = item ? goesOnClose(item.get(), true, path) : failed(L"CreateFileW", path);
    if (!marked) {
        // Made but not marked to go with its handle: it goes at once instead.
        item.reset();
        if (made && !(folder ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str())))
            failed(folder ? L"RemoveDirectoryW" : L"DeleteFileW", path);
        return false;
    }
    const auto identity = identityOf(item.get(), path);
    return identity && keep(*identity) && goesOnClose(item.get(), false, path);
}

unique_hfile holdLockFile(const std::wstring& path) {
    unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ | DELETE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!file && GetLastError() == ERROR_FILE_EXISTS) {
        // Held by another setup, which this open finds; or left by one the
        // power went off under, or not ours at all: held the same, and left.
        file.reset(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (!file) failed(L"CreateFileW", path);
    return file;
}

std::optional<std::string> fileIdentity(const std::wstring& path) {
    // Attributes only, which no sharing mode of another program refuses.
    const unique_hfile item(
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (item) return identityOf(item.get(), path);
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return std::string();
    failed(L"CreateFileW", path);
    return std::nullopt;
}

}  // namespace update
