#include "win32/durable_files.hpp"

#include "win32/filled_text.hpp"
#include "win32/folder_walk.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"
#include "common/win32/failed_call.hpp"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>

namespace update {
namespace {

using common::Result;
using common::win32::unique_handle;
using common::win32::unique_hfile;

// Writing, and so flushing, needs the read-only mark off for a moment: it
// comes off and goes back through a handle on the file itself, opened
// without following a link.
Result<> flushReadOnly(const std::wstring& path, DWORD attributes) {
    const unique_hfile marks(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!marks) return FAILED_CALL(CreateFileW).about(path);
    auto flushed = setMarks(marks.get(), attributes & ~FILE_ATTRIBUTE_READONLY, path);
    if (!flushed) return flushed;
    {
        const unique_hfile file(ReOpenFile(marks.get(), GENERIC_WRITE, FILE_SHARE_READ, 0));
        if (!file) {
            flushed = FAILED_CALL(ReOpenFile).about(path);
        } else if (!FlushFileBuffers(file.get())) {
            flushed = FAILED_CALL(FlushFileBuffers).about(path);
        }
    }
    if (auto marked = setMarks(marks.get(), attributes, path); !marked) return marked;
    return flushed;
}

Result<> flushFile(const std::wstring& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_READONLY) return flushReadOnly(path, attributes);
    const unique_hfile file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return FAILED_CALL(CreateFileW).about(path);
    if (!FlushFileBuffers(file.get())) return FAILED_CALL(FlushFileBuffers).about(path);
    return {};
}

// The files to flush one by one: links are not ours to write to.
struct FileToFlush {
    std::wstring path;
    DWORD attributes;
};

Result<std::vector<FileToFlush>> filesIn(const std::vector<std::wstring>& paths) {
    std::vector<FileToFlush> files;
    const auto add = [&](const std::wstring& path, DWORD attributes) {
        if (!isLink(attributes)) files.push_back({path, attributes});
        return Result<>();
    };
    for (const std::wstring& path : paths) {
        if (auto listed = walkFolder(path, add, {}); !listed) return listed.failure();
    }
    return files;
}

// Flushes given to the file system together can be written together, where
// one after another each waits for the disk.
struct FlushQueue {
    const std::vector<FileToFlush>& files;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
};

struct FlushWorker {
    FlushQueue* queue = nullptr;
    Result<> result;
    unique_handle thread;
};

DWORD WINAPI flushFromQueue(void* parameter) noexcept {
    FlushWorker& worker = *static_cast<FlushWorker*>(parameter);
    FlushQueue& queue = *worker.queue;
    try {
        for (std::size_t i = queue.next++; i < queue.files.size() && !queue.stop;
             i = queue.next++) {
            worker.result = flushFile(queue.files[i].path, queue.files[i].attributes);
            if (!worker.result) queue.stop = true;
        }
    } catch (...) {  // a path that could not be copied
        worker.result = common::stopFailure(L"flushFromQueue", L"out of memory");
        queue.stop = true;
    }
    return 0;
}

Result<> flushEachFile(const std::vector<FileToFlush>& files) {
    FlushQueue queue{files};
    FlushWorker workers[8];
    for (FlushWorker& worker : workers) {
        worker.queue = &queue;
        worker.thread.reset(CreateThread(nullptr, 64 * 1024, &flushFromQueue, &worker,
                                         STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    }
    // This thread takes its share too, so the work is done even when no
    // thread could be started.
    FlushWorker self{&queue, {}, {}};
    flushFromQueue(&self);
    // Every thread is joined before any result is read: they work on this
    // frame's queue and workers until they end.
    for (FlushWorker& worker : workers) {
        if (worker.thread) WaitForSingleObject(worker.thread.get(), INFINITE);
    }
    common::FirstFailure outcome;
    outcome.add(std::move(self.result));
    for (FlushWorker& worker : workers) outcome.add(std::move(worker.result));
    return std::move(outcome).result();
}

// The volume the item at the path lies on, as a name that opens the volume
// itself. It is taken from the open item, so a junction or mount point on
// the way leads to the volume the item really is on.
Result<std::wstring> volumeOf(const std::wstring& path) {
    const unique_hfile item(
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!item) return FAILED_CALL(CreateFileW).about(path);
    const auto [name, error] = filledText([&](wchar_t* to, DWORD size) {
        return GetFinalPathNameByHandleW(item.get(), to, size, VOLUME_NAME_GUID);
    });
    if (name.empty()) return FAILED_STATUS(GetFinalPathNameByHandleW, error).about(path);
    return name.substr(0, name.find(L'\\', 4));  // "\\?\Volume{…}" of "\\?\Volume{…}\path"
}

// The file system writes every modified file of the volume, data and
// metadata, and then has the disk flush its own cache: one barrier for all
// the files the install wrote. It takes a handle opened for writing, which
// only an administrator gets.
// Also serves a folder, whose flush writes that folder's entries
// (FILE_FLAG_BACKUP_SEMANTICS opens it).
Result<> flushVolume(const std::wstring& volume, DWORD flags = 0) {
    const unique_hfile handle(CreateFileW(volume.c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, flags, nullptr));
    if (!handle) return FAILED_CALL(CreateFileW).about(volume);
    if (!FlushFileBuffers(handle.get())) return FAILED_CALL(FlushFileBuffers).about(volume);
    return {};
}

Result<> flushVolumes(const std::vector<std::wstring>& paths) {
    std::vector<std::wstring> volumes;
    for (const std::wstring& path : paths) {
        auto volume = volumeOf(path);
        if (!volume) return volume.failure();
        if (std::find(volumes.begin(), volumes.end(), *volume) == volumes.end())
            volumes.push_back(std::move(*volume));
    }
    for (const std::wstring& volume : volumes) {
        if (auto flushed = flushVolume(volume); !flushed) return flushed;
    }
    return {};
}

// A rename changes only metadata, which MOVEFILE_WRITE_THROUGH does not wait
// for on NTFS, and the install's other flushes may lie on other volumes. A
// flush of the renamed item's own volume commits it. Where the volume cannot
// be flushed (a share; no volume flush under Wine), flushing the folder the
// item now lies in writes that folder's entries: on NTFS that commits the
// log the rename is in, under Wine it is an fsync of the folder.
Result<> renameOnDisk(const std::wstring& path) {
    const auto volume = volumeOf(path);
    const Result<> flushed = volume ? flushVolume(*volume) : Result<>(volume.failure());
    if (flushed) return {};
    common::trace(flushed.failure());
    std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
    if (folder.ends_with(L':')) folder += L'\\';  // a drive's root, not the drive
    return flushVolume(folder, FILE_FLAG_BACKUP_SEMANTICS);
}

// Whether the file system keeps an item's file index with it when it is
// renamed (NTFS, ReFS, or any that opens by file id). FAT and exFAT do not:
// there the index is the directory entry's place, which a rename can move.
Result<bool> keepsFileIndex(HANDLE item, const std::wstring& path) {
    wchar_t system[MAX_PATH + 1];
    DWORD flags = 0;
    if (!GetVolumeInformationByHandleW(item, nullptr, 0, nullptr, nullptr, &flags, system,
                                       MAX_PATH + 1))
        return FAILED_CALL(GetVolumeInformationByHandleW).about(path);
    const std::wstring_view kind = system;
    return (flags & FILE_SUPPORTS_OPEN_BY_FILE_ID) || kind == L"NTFS" || kind == L"ReFS";
}

Result<std::string> identityOf(HANDLE item, const std::wstring& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(item, &info))
        return FAILED_CALL(GetFileInformationByHandle).about(path);
    const auto keeps = keepsFileIndex(item, path);
    if (!keeps) return keeps.failure();
    std::string identity = common::hexText(info.dwVolumeSerialNumber);
    if (*keeps) {
        return identity.append("-")
            .append(common::hexText(info.nFileIndexHigh))
            .append(common::hexText(info.nFileIndexLow));
    }
    // Elsewhere the creation time, which a rename keeps; but a name taken
    // again within seconds of being freed is given the old creation time
    // (name tunnelling), so claimName refuses to stage there.
    return identity.append("-t")
        .append(common::hexText(info.ftCreationTime.dwHighDateTime))
        .append(common::hexText(info.ftCreationTime.dwLowDateTime));
}

// The item at the path, held, while it is the one of that identity and not
// a link in its place.
Result<HeldItem> openOwnItem(const std::wstring& path, const std::string& identity,
                             const ItemOpen& how) {
    auto item = openItemAt(path, how);
    if (!item) return item.failure();
    auto found = identityOf(item->handle.get(), item->path);
    if (!found) return found.failure();
    if (isLink(item->attributes) || *found != identity)
        return common::stopFailure(L"openOwnItem", L"not the item recorded: " + item->path);
    return item;
}

// An administrators' item: SYSTEM and the administrators have full control
// of it and of all made in it, and it inherits nothing.
Result<common::win32::unique_hlocal> administratorsOnly() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr))
        return FAILED_CALL(ConvertStringSecurityDescriptorToSecurityDescriptorW);
    return common::win32::unique_hlocal(descriptor);
}

}  // namespace

Result<> renameDurably(const std::wstring& from, const std::wstring& to) {
    const auto source = extendedPath(from);
    if (!source) return source.failure();
    const auto target = extendedPath(to);
    if (!target) return target.failure();
    if (!MoveFileExW(source->c_str(), target->c_str(), 0))
        return FAILED_CALL(MoveFileExW).about(*source + L" -> " + *target);
    return renameOnDisk(*target);
}

Result<> flushToDisk(const std::vector<std::wstring>& paths) {
    std::vector<std::wstring> extended;
    for (const std::wstring& path : paths) {
        auto full = extendedPath(path);
        if (!full) return full.failure();
        extended.push_back(std::move(*full));
    }
    const Result<> volumes = flushVolumes(extended);
    if (volumes) return {};
    common::trace(volumes.failure());  // not the volume, then: each file in turn
    const auto files = filesIn(extended);
    if (!files) return files.failure();
    return flushEachFile(*files);
}

Result<> canRemoveTree(const std::wstring& folder) {
    const auto openForDeletion = [](const std::wstring& path, DWORD) -> Result<> {
        const unique_hfile item(
            CreateFileW(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!item) return FAILED_CALL(CreateFileW).about(path);
        return {};
    };
    const auto full = extendedPath(folder);
    if (!full) return full.failure();
    return walkFolder(*full, openForDeletion, {.folders = true});
}

Result<> removeOwnItem(const std::wstring& path, const std::string& identity) {
    auto item = openOwnItem(path, identity, kForRemoval);
    if (!item) return item.failure();
    return removeHeldItem(std::move(*item));
}

// On Windows, an unprotected DACL of no entries of its own leaves the item
// only what it inherits from the folder it lies in, and SetSecurityInfo
// carries the change down to everything inside (its automatic propagation):
// the staged tree drops the administrators-only entries its root gave it
// and takes the installation folder's. The propagation needs the children
// to be opened: the item is held without delete sharing, so it is neither
// renamed nor replaced meanwhile, but shares reading and writing (a handle
// with no sharing, or opened for MAXIMUM_ALLOWED, would stop it). Under Wine,
// which keeps no security descriptor on files, the call succeeds and at most
// changes the host file's mode bits.
Result<> inheritPermissions(const std::wstring& path, const std::string& identity) {
    const auto item =
        openOwnItem(path, identity, {.access = READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES});
    if (!item) return item.failure();
    ACL none{};  // no entries of its own: all it has is inherited
    if (!InitializeAcl(&none, sizeof none, ACL_REVISION))
        return FAILED_CALL(InitializeAcl).about(item->path);
    const DWORD status =
        SetSecurityInfo(item->handle.get(), SE_FILE_OBJECT,
                        DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                        nullptr, &none, nullptr);
    if (status != ERROR_SUCCESS) return FAILED_STATUS(SetSecurityInfo, status).about(item->path);
    return {};
}

// The item goes with its handle (the idiom at the top of durable_files.hpp)
// until `keep` has recorded it. It is made and opened in one call under its
// folder's handle, so what is held is what was made, never a link.
Result<> claimName(const std::wstring& path, bool folder,
                   const std::function<Result<>(const std::string& identity)>& keep) {
    const auto descriptor = administratorsOnly();
    if (!descriptor) return descriptor.failure();
    // Sharing all, so another program that looks at the new item meanwhile
    // does not make the claim fail.
    auto item = openItemAt(path, {.access = DELETE | FILE_READ_ATTRIBUTES,
                                  .share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  .create = true,
                                  .folder = folder,
                                  .security = descriptor->get()});
    if (!item) return item.failure();
    if (isLink(item->attributes))
        return common::stopFailure(L"claimName", L"a link where the item was made: " + item->path);
    if (auto marked = markGoesOnClose(item->handle.get(), true, item->path); !marked) {
        // Made but not marked to go with its handle: it goes at once instead,
        // by the name it was just made at (a link there would go itself).
        const std::wstring made = item->path;
        item->handle.reset();
        if (folder && !RemoveDirectoryW(made.c_str()))
            common::trace(FAILED_CALL(RemoveDirectoryW).about(made));
        if (!folder && !DeleteFileW(made.c_str()))
            common::trace(FAILED_CALL(DeleteFileW).about(made));
        return marked;
    }
    // The swap tells the staged copy from the live item it replaces by
    // identity, which FAT and exFAT cannot keep through the renames: the
    // claim fails there, and what it made goes with its handle.
    const auto keeps = keepsFileIndex(item->handle.get(), item->path);
    if (!keeps) return keeps.failure();
    if (!*keeps)
        return common::stopFailure(L"claimName",
                                   L"a file system that does not keep an item's "
                                   L"identity through a rename (FAT, exFAT): " +
                                       item->path);
    const auto identity = identityOf(item->handle.get(), item->path);
    if (!identity) return identity.failure();
    if (auto kept = keep(*identity); !kept) return kept;
    return markGoesOnClose(item->handle.get(), false, item->path);
}

// The lock goes with its handle (the idiom at the top of durable_files.hpp).
Result<unique_hfile> holdLockFile(const std::wstring& path) {
    const auto full = extendedPath(path);
    if (!full) return full.failure();
    unique_hfile file(CreateFileW(
        full->c_str(), GENERIC_READ | DELETE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file && GetLastError() == ERROR_FILE_EXISTS) {
        // Held by another setup, which this open finds; or left by one the
        // power went off under, or not ours at all: held the same, and left.
        file.reset(CreateFileW(full->c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    }
    if (!file) return FAILED_CALL(CreateFileW).about(*full);
    return file;
}

Result<std::string> fileIdentity(const std::wstring& path) {
    const auto full = extendedPath(path);
    if (!full) return full.failure();
    // Attributes only, which no sharing mode of another program refuses.
    const unique_hfile item(
        CreateFileW(full->c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (item) return identityOf(item.get(), *full);
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return std::string();
    return FAILED_STATUS(CreateFileW, code).about(*full);
}

}  // namespace update
