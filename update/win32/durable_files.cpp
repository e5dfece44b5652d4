#include "win32/durable_files.hpp"

#include "win32/filled_text.hpp"
#include "win32/folder_walk.hpp"
#include "win32/work_on_threads.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"
#include "common/win32/failed_call.hpp"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

namespace update {
namespace {

using common::Result;
using common::win32::UniqueFile;

// Writing, and so flushing, needs the read-only mark off for a moment: it
// comes off and goes back through the file's own handle.
Result<> flushFile(const HeldItem& file) {
    const bool readOnly = (file.attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly) {
        auto unmarked =
            setAttributes(file.handle.get(), file.attributes & ~FILE_ATTRIBUTE_READONLY, file.path);
        if (!unmarked) return unmarked;
    }
    Result<> flushed;
    {
        const UniqueFile writable(ReOpenFile(file.handle.get(), GENERIC_WRITE, FILE_SHARE_READ, 0));
        if (!writable) {
            flushed = FAILED_CALL(ReOpenFile).about(file.path);
        } else if (!FlushFileBuffers(writable.get())) {
            flushed = FAILED_CALL(FlushFileBuffers).about(file.path);
        }
    }
    if (readOnly) {
        if (auto marked = setAttributes(file.handle.get(), file.attributes, file.path); !marked)
            return marked;
    }
    return flushed;
}

// The files to flush one by one, held: links are not ours to write to.
Result<std::vector<HeldItem>> filesIn(std::vector<HeldItem> items) {
    std::vector<HeldItem> files;
    const auto add = [&](HeldItem& item, std::size_t) {
        if (!isLink(item.attributes)) files.push_back(std::move(item));
        return Result<>();
    };
    // Attributes only, which no sharing mode of another program refuses;
    // the flush's own open for writing is refused instead.
    const ItemOpen how{.access = FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                       .share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE};
    for (HeldItem& item : items) {
        if (auto listed = walkTree(std::move(item), how, {.file = add}); !listed)
            return listed.failure();
    }
    return files;
}

// Flushes given to the file system together can be written together, where
// one after another each waits for the disk.
Result<> flushEachFile(const std::vector<HeldItem>& files) {
    return workOnThreads(files.size(), 8,
                         [&](std::size_t i, std::size_t) { return flushFile(files[i]); });
}

// The volume the held item lies on, as a name that opens the volume itself.
// It is taken from the open item, so a junction or mount point on the way
// leads to the volume the item really is on.
Result<std::wstring> volumeOf(const HeldItem& item) {
    const auto [name, error] = filledText([&](wchar_t* to, DWORD size) {
        return GetFinalPathNameByHandleW(item.handle.get(), to, size, VOLUME_NAME_GUID);
    });
    if (name.empty()) return FAILED_STATUS(GetFinalPathNameByHandleW, error).about(item.path);
    return name.substr(0, name.find(L'\\', 4));  // "\\?\Volume{…}" of "\\?\Volume{…}\path"
}

// The file system writes every modified file of the volume, data and
// metadata, and then has the disk flush its own cache: one barrier for all
// the files the install wrote. It takes a handle opened for writing, which
// only an administrator gets.
Result<> flushVolume(const std::wstring& volume) {
    const UniqueFile handle(CreateFileW(volume.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    if (!handle) return FAILED_CALL(CreateFileW).about(volume);
    if (!FlushFileBuffers(handle.get())) return FAILED_CALL(FlushFileBuffers).about(volume);
    return {};
}

Result<> flushVolumes(const std::vector<HeldItem>& items) {
    std::vector<std::wstring> volumes;
    for (const HeldItem& item : items) {
        auto volume = volumeOf(item);
        if (!volume) return volume.failure();
        if (std::find(volumes.begin(), volumes.end(), *volume) == volumes.end())
            volumes.push_back(std::move(*volume));
    }
    for (const std::wstring& volume : volumes) {
        if (auto flushed = flushVolume(volume); !flushed) return flushed;
    }
    return {};
}

// A rename changes only metadata, which no write-through flag waits for on
// NTFS, and the install's other flushes may lie on other volumes. A flush of
// the folder's own volume commits it. Where the volume cannot be flushed (a
// share; no volume flush under Wine), a flush of the folder the item now
// lies in writes that folder's entries: on NTFS that commits the log the
// rename is in, under Wine it is an fsync of the folder.
Result<> renameOnDisk(const HeldItem& folder) {
    const auto volume = volumeOf(folder);
    const Result<> flushed = volume ? flushVolume(*volume) : Result<>(volume.failure());
    if (flushed) return {};
    common::trace(flushed.failure());
    const UniqueFile writable(ReOpenFile(folder.handle.get(), GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         FILE_FLAG_BACKUP_SEMANTICS));
    if (!writable) return FAILED_CALL(ReOpenFile).about(folder.path);
    if (!FlushFileBuffers(writable.get())) return FAILED_CALL(FlushFileBuffers).about(folder.path);
    return {};
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

}  // namespace

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
    // (name tunnelling), so claimAt refuses to stage there.
    return identity.append("-t")
        .append(common::hexText(info.ftCreationTime.dwHighDateTime))
        .append(common::hexText(info.ftCreationTime.dwLowDateTime));
}

namespace {

// An administrators' item: SYSTEM and the administrators have full control
// of it and of all made in it, and it inherits nothing.
Result<common::win32::UniqueLocal> administratorsOnly() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr))
        return FAILED_CALL(ConvertStringSecurityDescriptorToSecurityDescriptorW);
    return common::win32::UniqueLocal(descriptor);
}

// Made but not marked to go with its handle: it goes at once instead, by
// the name it was just made at under its held folder (a link there would go
// itself).
void goNow(HeldItem item, bool folder) {
    const std::wstring made = item.path;
    item.handle.reset();
    if (folder && !RemoveDirectoryW(made.c_str()))
        common::trace(FAILED_CALL(RemoveDirectoryW).about(made));
    if (!folder && !DeleteFileW(made.c_str())) common::trace(FAILED_CALL(DeleteFileW).about(made));
}

// The swap tells the staged copy from the live item it replaces by
// identity, which FAT and exFAT cannot keep through the renames: the claim
// fails there, and what it made goes with its handle. Otherwise `keep`
// notes it, and it stays.
Result<> keepIfStable(const HeldItem& item,
                      const std::function<Result<>(const std::string& identity)>& keep) {
    const auto keeps = keepsFileIndex(item.handle.get(), item.path);
    if (!keeps) return keeps.failure();
    if (!*keeps)
        return common::stopFailure(L"claimAt",
                                   L"a file system that does not keep an item's "
                                   L"identity through a rename (FAT, exFAT): " +
                                       item.path);
    const auto identity = identityOf(item.handle.get(), item.path);
    if (!identity) return identity.failure();
    if (auto kept = keep(*identity); !kept) return kept;
    return setGoesOnClose(item.handle.get(), false, item.path);
}

// The rename is asked of the file system as it is, relative to the held
// folder: SetFileInformationByHandle would make the name a full path, and
// under Wine from the current folder.
constexpr auto renameInformation = static_cast<FILE_INFORMATION_CLASS>(10);

}  // namespace

Result<> renameHeld(const HeldItem& item, const HeldItem& toFolder, const std::wstring& name) {
    const std::size_t bytes = name.size() * sizeof(wchar_t);
    const std::size_t size = offsetof(FILE_RENAME_INFO, FileName) + bytes + sizeof(wchar_t);
    const auto buffer = std::make_unique<LONGLONG[]>(size / sizeof(LONGLONG) + 1);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.get());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = toFolder.handle.get();
    info->FileNameLength = static_cast<DWORD>(bytes);
    std::memcpy(info->FileName, name.c_str(), bytes);
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = NtSetInformationFile(item.handle.get(), &io, info,
                                                 static_cast<ULONG>(size), renameInformation);
    if (!NT_SUCCESS(status))
        return FAILED_STATUS(NtSetInformationFile, RtlNtStatusToDosError(status))
            .about(item.path + L" -> " + toFolder.path + L"\\" + name);
    // Windows renames the object the handle is open on; Wine renames whatever
    // lies at the path the handle was opened by, which a user may have
    // swapped for a link meanwhile: what now lies at the name must be the item.
    const auto moved = identityOf(item.handle.get(), item.path);
    if (!moved) return moved.failure();
    const ItemOpen attributesOnly{.access = FILE_READ_ATTRIBUTES,
                                  .share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE};
    if (auto landed = openOwnItem(toFolder, name, *moved, attributesOnly); !landed)
        return landed.failure();
    return renameOnDisk(toFolder);
}

Result<> flushHeld(std::vector<HeldItem> items) {
    const Result<> volumes = flushVolumes(items);
    if (volumes) return {};
    common::trace(volumes.failure());  // not the volume, then: each file in turn
    const auto files = filesIn(std::move(items));
    if (!files) return files.failure();
    return flushEachFile(*files);
}

Result<HeldItem> openOwnItem(const HeldItem& folder, const std::wstring& name,
                             const std::string& identity, const ItemOpen& how) {
    auto item = openEntry(folder, name, how);
    if (!item) return item.failure();
    auto found = identityOf(item->handle.get(), item->path);
    if (!found) return found.failure();
    if (isLink(item->attributes) || *found != identity)
        return common::stopFailure(L"openOwnItem", L"not the item noted: " + item->path);
    return item;
}

// Each entry under the item loses its own entries as it is: an unprotected
// DACL of none, set on its handle alone (no inheritance is worked out, so
// until the item's own reset reaches it nobody but its owner,
// Administrators, has any access). Then the item: on Windows SetSecurityInfo
// gives it what it inherits from the folder it lies in and carries that
// down to everything inside (its automatic propagation). Deepest first, so
// nothing in it is open to more than the item itself at any moment. What is
// in it is held without delete sharing, so nothing is renamed or replaced
// meanwhile, but shares reading and writing, which the propagation's own
// opens need. Under Wine, which keeps no security descriptor on files, the
// calls succeed and at most change the host files' mode bits.
Result<> resetPermissions(HeldItem item) {
    ACL none{};  // no entries of its own
    if (!InitializeAcl(&none, sizeof none, ACL_REVISION))
        return FAILED_CALL(InitializeAcl).about(item.path);
    SECURITY_DESCRIPTOR descriptor{};
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, &none, FALSE))
        return FAILED_CALL(SetSecurityDescriptorDacl).about(item.path);
    const auto clear = [&](HeldItem& entry, std::size_t depth) -> Result<> {
        constexpr SECURITY_INFORMATION daclOnly =
            DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION;
        if (depth > 0) {
            if (SetKernelObjectSecurity(entry.handle.get(), daclOnly, &descriptor)) return {};
            return FAILED_CALL(SetKernelObjectSecurity).about(entry.path);
        }
        const DWORD status = SetSecurityInfo(entry.handle.get(), SE_FILE_OBJECT, daclOnly, nullptr,
                                             nullptr, &none, nullptr);
        if (status != ERROR_SUCCESS)
            return FAILED_STATUS(SetSecurityInfo, status).about(entry.path);
        return {};
    };
    return walkTree(std::move(item), {.access = READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES},
                    {.file = clear, .leave = clear});
}

// The item goes with its handle (the idiom at the top of durable_files.hpp)
// until `keep` has noted it. It is made and opened in one call under its
// folder's handle, so what is held is what was made, never a link.
Result<HeldItem> claimAt(const HeldItem& folder, const std::wstring& name, bool makeFolder,
                         const std::function<Result<>(const std::string& identity)>& keep) {
    const auto descriptor = administratorsOnly();
    if (!descriptor) return descriptor.failure();
    // Sharing all, so another program that looks at the new item meanwhile
    // does not make the claim fail.
    auto item = openEntry(folder, name,
                          {.access = DELETE | FILE_READ_ATTRIBUTES,
                           .share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           .create = true,
                           .folder = makeFolder,
                           .security = descriptor->get()});
    if (!item) return item.failure();
    if (isLink(item->attributes))
        return common::stopFailure(L"claimAt", L"a link where the item was made: " + item->path);
    if (auto marked = setGoesOnClose(item->handle.get(), true, item->path); !marked) {
        goNow(std::move(*item), makeFolder);
        return marked.failure();
    }
    if (auto kept = keepIfStable(*item, keep); !kept) return kept.failure();
    // Held from now on with attributes only, which takes no part in
    // sharing: others may look into it (their opens seldom share deletion).
    item->handle.reset(ReOpenFile(item->handle.get(), FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  FILE_FLAG_BACKUP_SEMANTICS));
    if (!item->handle) return FAILED_CALL(ReOpenFile).about(item->path);
    return item;
}

}  // namespace update
