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
using common::win32::UniqueFile;

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

// Whether the item the file system names so lies at the name in the folder.
// The folder's name is asked again when it differs from the one it was held
// by: it may have been renamed since, which changes nothing held under it.
bool isAt(const std::wstring& real, const HeldItem& folder, const std::wstring& name) {
    if (sameName(real, inFolder(folder.realPath, name))) return true;
    const auto now = nameOnVolume(folder.handle.get(), folder.path);
    return now && sameName(real, inFolder(*now, name));
}

// The opened item's attributes and its name on its volume, from its handle.
Result<> learnFromHandle(HeldItem& item) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(item.handle.get(), FileAttributeTagInfo, &tag, sizeof tag))
        return FAILED_CALL(GetFileInformationByHandleEx).about(item.path);
    item.attributes = tag.FileAttributes;
    auto real = nameOnVolume(item.handle.get(), item.path);
    if (!real) return real.failure();
    item.realPath = std::move(*real);
    return {};
}

}  // namespace

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
    if (how.create) {
        // Made where nothing was, which no link can lead elsewhere (a name
        // taken, a link's included, fails), and so known without asking.
        item.attributes = how.folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
        item.realPath = inFolder(folder.realPath, name);
        return item;
    }
    if (auto learnt = learnFromHandle(item); !learnt) return learnt.failure();
    if (!isAt(item.realPath, folder, name))
        return common::stopFailure(L"openEntry", L"a link that cannot be opened as itself: " +
                                                     item.path + L" -> " + item.realPath);
    return item;
}

namespace {

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
Result<> deleteHeld(HeldItem& item, std::size_t) {
    if (item.attributes & FILE_ATTRIBUTE_READONLY) {
        auto unmarked =
            setAttributes(item.handle.get(), item.attributes & ~FILE_ATTRIBUTE_READONLY, item.path);
        if (!unmarked) return unmarked;
    }
    return setGoesOnClose(item.handle.get(), true, item.path);
}

// One folder of a walk, held, and the names in it still to visit.
struct Level {
    HeldItem folder;
    std::vector<std::wstring> names;
    std::size_t next = 0;
};

// The walk's state: its levels, one per folder deep, and its first failure.
class Walk {
public:
    Walk(const ItemOpen& how, const TreeVisit& visit) : how_(how), visit_(visit) {}

    // Goes into the folder: false when the walk stops.
    bool descend(HeldItem folder) {
        if (!(how_.access & FILE_LIST_DIRECTORY)) {
            // Opened as every entry, for what the walk does; now also to be listed.
            folder.handle.reset(ReOpenFile(folder.handle.get(), how_.access | FILE_LIST_DIRECTORY,
                                           how_.share, FILE_FLAG_BACKUP_SEMANTICS));
            if (!folder.handle) return goesOn(FAILED_CALL(ReOpenFile).about(folder.path));
        }
        auto names = namesIn(folder);
        if (!names && !goesOn(names.failure())) return false;
        levels_.push_back(
            {std::move(folder), names ? std::move(*names) : std::vector<std::wstring>{}});
        return true;
    }

    // Visits the next entry of the deepest folder, or leaves it when all
    // were visited: false when the walk stops.
    bool step() {
        Level& level = levels_.back();
        const std::size_t depth = levels_.size();
        if (level.next == level.names.size()) {
            HeldItem done = std::move(level.folder);
            levels_.pop_back();
            return goesOn(run(visit_.leave, done, levels_.size()));
        }
        auto entry = openEntry(level.folder, level.names[level.next++], how_);
        if (!entry) return goesOn(entry.failure());
        if (!isRealFolder(entry->attributes)) return goesOn(run(visit_.file, *entry, depth));
        if (auto entered = run(visit_.enter, *entry, depth); !entered) return goesOn(entered);
        return descend(std::move(*entry));
    }

    bool done() const { return levels_.empty(); }
    Result<> result() && { return std::move(outcome_).result(); }

private:
    static Result<> run(const TreeVisit::Step& visit, HeldItem& item, std::size_t depth) {
        return visit ? visit(item, depth) : Result<>();
    }
    bool goesOn(Result<> result) { return outcome_.add(std::move(result)) || visit_.goOn; }

    ItemOpen how_;
    const TreeVisit& visit_;
    std::vector<Level> levels_;
    common::FirstFailure outcome_;
};

}  // namespace

bool sameName(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool notFound(const common::Failure& failure) {
    return failure.kind == common::ErrorKind::Win32 &&
           (failure.code == ERROR_FILE_NOT_FOUND || failure.code == ERROR_PATH_NOT_FOUND);
}

Result<std::wstring> extendedPath(const std::wstring& path) {
    if (path.starts_with(L"\\\\?\\")) return path;
    const auto [full, error] = filledText(
        [&](wchar_t* to, DWORD size) { return GetFullPathNameW(path.c_str(), size, to, nullptr); });
    if (full.empty()) return FAILED_STATUS(GetFullPathNameW, error).about(path);
    if (full.starts_with(L"\\\\.\\")) return full;  // a device, already without the limit
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

Result<HeldItem> openPath(const std::wstring& path, const ItemOpen& how) {
    auto full = extendedPath(path);
    if (!full) return full.failure();
    HeldItem item{{}, std::move(*full), {}, 0};
    item.handle.reset(CreateFileW(
        item.path.c_str(), how.access | SYNCHRONIZE, how.share, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | (how.followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr));
    if (!item.handle) return FAILED_CALL(CreateFileW).about(item.path);
    if (auto learnt = learnFromHandle(item); !learnt) return learnt.failure();
    return item;
}

Result<> walkTree(HeldItem root, const ItemOpen& how, const TreeVisit& visit) {
    if (!isRealFolder(root.attributes)) return visit.file ? visit.file(root, 0) : Result<>();
    Walk walk(how, visit);
    if (walk.descend(std::move(root))) {
        while (!walk.done() && walk.step()) {
        }
    }
    return std::move(walk).result();
}

Result<> setAttributes(HANDLE item, DWORD attributes, const std::wstring& path) {
    FILE_BASIC_INFO basic{};  // times of 0 are left as they are
    basic.FileAttributes =
        attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (SetFileInformationByHandle(item, FileBasicInfo, &basic, sizeof basic)) return {};
    return FAILED_CALL(SetFileInformationByHandle).about(path);
}

Result<> setGoesOnClose(HANDLE item, bool goes, const std::wstring& path) {
    FILE_DISPOSITION_INFO disposition{static_cast<BOOLEAN>(goes)};
    if (SetFileInformationByHandle(item, FileDispositionInfo, &disposition, sizeof disposition))
        return {};
    return FAILED_CALL(SetFileInformationByHandle).about(path);
}

Result<> removeHeldItem(HeldItem item) {
    return walkTree(std::move(item), forRemoval,
                    {.file = &deleteHeld, .leave = &deleteHeld, .goOn = true});
}

}  // namespace update
