#include "win32/folder_walk.hpp"

#include "win32/filled_text.hpp"

#include "common/core/trace.hpp"
#include "common/win32/failed_call.hpp"

#include <winternl.h>

#include <memory>
#include <utility>
#include <vector>

namespace update {
namespace {

using common::Result;
using common::win32::unique_hfile;

Result<> walkContents(const std::wstring& folder, const VisitEntry& visit, FolderWalk how) {
    WIN32_FIND_DATAW entry{};
    const common::win32::unique_hfind find(FindFirstFileW((folder + L"\\*").c_str(), &entry));
    if (!find) return FAILED_CALL(FindFirstFileW).about(folder);
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        const DWORD attributes = entry.dwFileAttributes;
        Result<> visited;
        if (isRealFolder(attributes)) {
            visited = walkContents(path, visit, how);
            if (visited && how.folders) visited = visit(path, attributes);
        } else {
            visited = visit(path, attributes);
        }
        if (!visited) return visited;
    } while (FindNextFileW(find.get(), &entry));
    if (GetLastError() != ERROR_NO_MORE_FILES) return FAILED_CALL(FindNextFileW).about(folder);
    return {};
}

bool sameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring inFolder(const std::wstring& folder, const std::wstring& name) {
    return folder.ends_with(L'\\') ? folder + name : folder + L"\\" + name;
}

// The path of the open item from its volume's root, as the file system
// names it: a link it followed is named by its target. Any length, where
// GetFinalPathNameByHandleW under Wine stops at 260 characters.
Result<std::wstring> nameOnVolume(HANDLE item, const std::wstring& path) {
    for (std::size_t size : {512, 32 * 1024}) {
        const auto buffer = std::make_unique<DWORD[]>(1 + size / 2);
        if (GetFileInformationByHandleEx(item, FileNameInfo, buffer.get(),
                                         static_cast<DWORD>((1 + size / 2) * sizeof(DWORD)))) {
            const auto* name = reinterpret_cast<const FILE_NAME_INFO*>(buffer.get());
            return std::wstring(name->FileName, name->FileNameLength / sizeof(wchar_t));
        }
        if (GetLastError() != ERROR_MORE_DATA) break;
    }
    return FAILED_CALL(GetFileInformationByHandleEx).about(path);
}

// Opens the named entry relative to the held folder's handle, so the name is
// looked up in that very folder whatever is done to paths meanwhile. A link
// at the name is opened as the link, where the file system can: a host link
// under Wine is followed all the same, and is told apart because the item
// opened is then not at the name it was opened by.
Result<HeldItem> openEntry(const HeldItem& folder, const std::wstring& name, const ItemOpen& how) {
    HeldItem item{{}, inFolder(folder.path, name), {}, 0};
    UNICODE_STRING text{static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                        static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                        const_cast<PWSTR>(name.c_str())};
    OBJECT_ATTRIBUTES object{};
    InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, folder.handle.get(),
                               how.security);
    IO_STATUS_BLOCK io{};
    HANDLE opened = nullptr;
    const ULONG shape = !how.create  ? 0
                        : how.folder ? FILE_DIRECTORY_FILE
                                     : FILE_NON_DIRECTORY_FILE;
    const NTSTATUS status =
        NtCreateFile(&opened, how.access | SYNCHRONIZE, &object, &io, nullptr,
                     FILE_ATTRIBUTE_NORMAL, how.share, how.create ? FILE_CREATE : FILE_OPEN,
                     shape | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT |
                         FILE_SYNCHRONOUS_IO_NONALERT,
                     nullptr, 0);
    if (!NT_SUCCESS(status))
        return FAILED_STATUS(NtCreateFile, RtlNtStatusToDosError(status)).about(item.path);
    item.handle.reset(opened);
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(item.handle.get(), FileAttributeTagInfo, &tag, sizeof tag))
        return FAILED_CALL(GetFileInformationByHandleEx).about(item.path);
    item.attributes = tag.FileAttributes;
    auto real = nameOnVolume(item.handle.get(), item.path);
    if (!real) return real.failure();
    if (!sameName(*real, inFolder(folder.realPath, name)))
        return common::stopFailure(L"openEntry", L"a link that cannot be opened as itself: " +
                                                     item.path + L" -> " + *real);
    item.realPath = std::move(*real);
    return item;
}

// The names in the held folder, listed from its handle.
Result<std::vector<std::wstring>> namesIn(const HeldItem& folder) {
    std::vector<std::wstring> names;
    const auto buffer = std::make_unique<LONGLONG[]>(8 * 1024);  // aligned as the entries need
    for (auto kind = FileFullDirectoryRestartInfo;; kind = FileFullDirectoryInfo) {
        if (!GetFileInformationByHandleEx(folder.handle.get(), kind, buffer.get(),
                                          8 * 1024 * sizeof(LONGLONG))) {
            if (GetLastError() == ERROR_NO_MORE_FILES) return names;
            return FAILED_CALL(GetFileInformationByHandleEx).about(folder.path);
        }
        auto* entry = reinterpret_cast<const FILE_FULL_DIR_INFO*>(buffer.get());
        for (;;) {
            std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") names.push_back(std::move(name));
            if (entry->NextEntryOffset == 0) break;
            entry = reinterpret_cast<const FILE_FULL_DIR_INFO*>(
                reinterpret_cast<const char*>(entry) + entry->NextEntryOffset);
        }
    }
}

// Deletion refuses a read-only item.
Result<> deleteHeld(const HeldItem& item) {
    if (item.attributes & FILE_ATTRIBUTE_READONLY) {
        auto unmarked =
            setMarks(item.handle.get(), item.attributes & ~FILE_ATTRIBUTE_READONLY, item.path);
        if (!unmarked) return unmarked;
    }
    return markGoesOnClose(item.handle.get(), true, item.path);
}

// Each entry is held until it is deleted, and its folder until all of them
// are: nothing on the way can be swapped for a link meanwhile.
void removeHeld(const HeldItem& item, common::FirstFailure& outcome) {
    if (isRealFolder(item.attributes)) {
        const auto names = namesIn(item);
        if (!names) outcome.add(names.failure());
        const std::vector<std::wstring> none;
        for (const std::wstring& name : names ? *names : none) {
            const auto entry = openEntry(item, name, kForRemoval);
            if (entry) {
                removeHeld(*entry, outcome);
            } else {
                outcome.add(entry.failure());
            }
        }
    }
    outcome.add(deleteHeld(item));
}

}  // namespace

Result<std::wstring> extendedPath(const std::wstring& path) {
    if (path.starts_with(L"\\\\?\\")) return path;
    const auto [full, error] = filledText(
        [&](wchar_t* to, DWORD size) { return GetFullPathNameW(path.c_str(), size, to, nullptr); });
    if (full.empty()) return FAILED_STATUS(GetFullPathNameW, error).about(path);
    if (full.starts_with(L"\\\\.\\")) return full;  // a device, already without the limit
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

Result<> walkFolder(const std::wstring& folder, const VisitEntry& visit, FolderWalk how) {
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return FAILED_CALL(GetFileAttributesW).about(folder);
    if (!isRealFolder(attributes)) return visit(folder, attributes);
    if (auto walked = walkContents(folder, visit, how); !walked) return walked;
    return how.folders ? visit(folder, attributes) : Result<>();
}

Result<HeldItem> openItemAt(const std::wstring& path, const ItemOpen& how) {
    auto full = extendedPath(path);
    if (!full) return full.failure();
    while (full->ends_with(L'\\')) full->pop_back();
    const std::size_t split = full->find_last_of(L'\\');
    if (split < 4 || full->back() == L':')
        return common::stopFailure(L"openItemAt", L"not an item in a folder: " + path);
    HeldItem folder{{}, full->substr(0, split), {}, FILE_ATTRIBUTE_DIRECTORY};
    if (folder.path.back() == L':') folder.path += L'\\';  // a drive's root
    // Shared fully: others may work in the installation folder meanwhile.
    folder.handle.reset(CreateFileW(folder.path.c_str(), FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder.handle) return FAILED_CALL(CreateFileW).about(folder.path);
    auto real = nameOnVolume(folder.handle.get(), folder.path);
    if (!real) return real.failure();
    folder.realPath = std::move(*real);
    return openEntry(folder, full->substr(split + 1), how);
}

Result<> setMarks(HANDLE item, DWORD attributes, const std::wstring& path) {
    FILE_BASIC_INFO basic{};  // times of 0 are left as they are
    basic.FileAttributes =
        attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (SetFileInformationByHandle(item, FileBasicInfo, &basic, sizeof basic)) return {};
    return FAILED_CALL(SetFileInformationByHandle).about(path);
}

Result<> markGoesOnClose(HANDLE item, bool goes, const std::wstring& path) {
    FILE_DISPOSITION_INFO disposition{static_cast<BOOLEAN>(goes)};
    if (SetFileInformationByHandle(item, FileDispositionInfo, &disposition, sizeof disposition))
        return {};
    return FAILED_CALL(SetFileInformationByHandle).about(path);
}

Result<> removeHeldItem(HeldItem item) {
    common::FirstFailure outcome;
    removeHeld(item, outcome);
    return std::move(outcome).result();
}

}  // namespace update
