#include "win32/durable_files.hpp"

#include "win32/folder_walk.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"
#include "common/win32/failed_call.hpp"

#include <windows.h>

#include <algorithm>
#include <atomic>

namespace update {
namespace {

using common::Result;
using common::win32::unique_handle;
using common::win32::unique_hfile;

Result<> flushFile(const std::wstring& path, DWORD attributes) {
    // Writing, and so flushing, needs the read-only mark off for a moment.
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && !SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
        return FAILED_CALL(SetFileAttributesW).about(path);
    Result<> flushed;
    {
        const unique_hfile file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            flushed = FAILED_CALL(CreateFileW).about(path);
        } else if (!FlushFileBuffers(file.get())) {
            flushed = FAILED_CALL(FlushFileBuffers).about(path);
        }
    }
    if (readOnly && !SetFileAttributesW(path.c_str(), attributes))
        return FAILED_CALL(SetFileAttributesW).about(path);
    return flushed;
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
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return FAILED_CALL(GetFileAttributesW).about(path);
        const Result<> listed =
            isRealFolder(attributes) ? walkFolder(path, add, {}) : add(path, attributes);
        if (!listed) return listed.failure();
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
    for (FlushWorker& worker : workers) {
        if (worker.thread) WaitForSingleObject(worker.thread.get(), INFINITE);
        if (!worker.result) return worker.result;
    }
    return self.result;
}

// The volume the path lies on, as a name that opens the volume itself.
Result<std::wstring> volumeOf(const std::wstring& path) {
    wchar_t mountPoint[MAX_PATH];
    wchar_t volume[50];
    if (!GetVolumePathNameW(path.c_str(), mountPoint, MAX_PATH))
        return FAILED_CALL(GetVolumePathNameW).about(path);
    if (!GetVolumeNameForVolumeMountPointW(mountPoint, volume, 50))
        return FAILED_CALL(GetVolumeNameForVolumeMountPointW).about(mountPoint);
    std::wstring name = volume;
    name.pop_back();  // "\\?\Volume{…}\" names the root folder; without it, the volume
    return name;
}

// The file system writes every modified file of the volume, data and
// metadata, and then has the disk flush its own cache: one barrier for all
// the files the install wrote. It takes a handle opened for writing, which
// only an administrator gets.
Result<> flushVolumes(const std::vector<std::wstring>& paths) {
    std::vector<std::wstring> volumes;
    for (const std::wstring& path : paths) {
        auto volume = volumeOf(path);
        if (!volume) return volume.failure();
        if (std::find(volumes.begin(), volumes.end(), *volume) == volumes.end())
            volumes.push_back(std::move(*volume));
    }
    for (const std::wstring& volume : volumes) {
        const unique_hfile handle(CreateFileW(volume.c_str(), GENERIC_WRITE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
        if (!handle) return FAILED_CALL(CreateFileW).about(volume);
        if (!FlushFileBuffers(handle.get())) return FAILED_CALL(FlushFileBuffers).about(volume);
    }
    return {};
}

Result<> goesOnClose(HANDLE item, bool goes, const std::wstring& path) {
    FILE_DISPOSITION_INFO disposition{static_cast<BOOLEAN>(goes)};
    if (SetFileInformationByHandle(item, FileDispositionInfo, &disposition, sizeof disposition))
        return {};
    return FAILED_CALL(SetFileInformationByHandle).about(path);
}

Result<std::string> identityOf(HANDLE item, const std::wstring& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(item, &info))
        return FAILED_CALL(GetFileInformationByHandle).about(path);
    std::string identity = common::hexText(info.dwVolumeSerialNumber);
    return identity.append("-")
        .append(common::hexText(info.nFileIndexHigh))
        .append(common::hexText(info.nFileIndexLow));
}

Result<> removeEntry(const std::wstring& path, DWORD attributes) {
    // A link goes by itself, attributes untouched: changing them through a
    // link would change its target.
    if ((attributes & FILE_ATTRIBUTE_READONLY) && !isLink(attributes) &&
        !SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
        common::trace(FAILED_CALL(SetFileAttributesW).about(path));
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (!RemoveDirectoryW(path.c_str())) return FAILED_CALL(RemoveDirectoryW).about(path);
    } else if (!DeleteFileW(path.c_str())) {
        return FAILED_CALL(DeleteFileW).about(path);
    }
    return {};
}

}  // namespace

Result<> renameDurably(const std::wstring& from, const std::wstring& to) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return {};
    return FAILED_CALL(MoveFileExW).about(from + L" -> " + to);
}

Result<> flushToDisk(const std::vector<std::wstring>& paths) {
    const Result<> volumes = flushVolumes(paths);
    if (volumes) return {};
    common::trace(volumes.failure());  // not the volume, then: each file in turn
    const auto files = filesIn(paths);
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
    return walkFolder(folder, openForDeletion, {.folders = true});
}

Result<> removeFolderTree(const std::wstring& folder) {
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return FAILED_CALL(GetFileAttributesW).about(folder);
    if (!isRealFolder(attributes))
        return common::stopFailure(L"removeFolderTree", L"not a folder: " + folder);
    return walkFolder(folder, &removeEntry, {.folders = true, .goOn = true});
}

Result<std::string> readSmallFile(const std::wstring& path) {
    const unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return FAILED_CALL(CreateFileW).about(path);
    std::string text(64 * 1024, '\0');
    DWORD got = 0;
    for (std::size_t size = 0;; size += got) {
        const DWORD wanted = static_cast<DWORD>(text.size() - size);
        if (!ReadFile(file.get(), text.data() + size, wanted, &got, nullptr))
            return FAILED_CALL(ReadFile).about(path);
        if (got == 0 || got == wanted) {
            text.resize(size + got);
            return text;
        }
    }
}

Result<> writeDurably(const std::wstring& path, std::size_t offset, const std::string& text) {
    const bool create = offset == 0;
    const unique_hfile file(
        CreateFileW(path.c_str(), GENERIC_WRITE | (create ? DELETE : 0), FILE_SHARE_READ, nullptr,
                    create ? CREATE_NEW : OPEN_EXISTING, FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!file) return FAILED_CALL(CreateFileW).about(path);
    if (create) {
        if (auto marked = goesOnClose(file.get(), true, path); !marked) return marked;
    }
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD written = 0;
    if (!SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN))
        return FAILED_CALL(SetFilePointerEx).about(path);
    if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
        return FAILED_CALL(WriteFile).about(path);
    if (written != text.size()) return FAILED_STATUS(WriteFile, ERROR_HANDLE_DISK_FULL).about(path);
    if (!SetEndOfFile(file.get())) return FAILED_CALL(SetEndOfFile).about(path);
    if (!FlushFileBuffers(file.get())) return FAILED_CALL(FlushFileBuffers).about(path);
    return create ? goesOnClose(file.get(), false, path) : Result<>();
}

Result<> claimName(const std::wstring& path, bool folder,
                   const std::function<Result<>(const std::string& identity)>& keep) {
    if (folder && !CreateDirectoryW(path.c_str(), nullptr))
        return FAILED_CALL(CreateDirectoryW).about(path);
    // Sharing all, so another program that looks at the new item meanwhile
    // does not make the claim fail.
    unique_hfile item(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  folder ? OPEN_EXISTING : CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const bool made = folder || item;
    Result<> marked =
        item ? goesOnClose(item.get(), true, path) : Result<>(FAILED_CALL(CreateFileW).about(path));
    if (!marked) {
        // Made but not marked to go with its handle: it goes at once instead.
        item.reset();
        if (made) {
            if (auto removed = removeEntry(path, folder ? FILE_ATTRIBUTE_DIRECTORY : 0); !removed)
                common::trace(removed.failure());
        }
        return marked;
    }
    const auto identity = identityOf(item.get(), path);
    if (!identity) return identity.failure();
    if (auto kept = keep(*identity); !kept) return kept;
    return goesOnClose(item.get(), false, path);
}

Result<unique_hfile> holdLockFile(const std::wstring& path) {
    unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ | DELETE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!file && GetLastError() == ERROR_FILE_EXISTS) {
        // Held by another setup, which this open finds; or left by one the
        // power went off under, or not ours at all: held the same, and left.
        file.reset(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (!file) return FAILED_CALL(CreateFileW).about(path);
    return file;
}

Result<std::string> fileIdentity(const std::wstring& path) {
    // Attributes only, which no sharing mode of another program refuses.
    const unique_hfile item(
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (item) return identityOf(item.get(), path);
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return std::string();
    return FAILED_STATUS(CreateFileW, code).about(path);
}

// Stand-ins until the handle-based versions land.
Result<> removeOwnItem(const std::wstring& path, const std::string& identity) {
    const auto found = fileIdentity(path);
    if (!found) return found.failure();
    if (*found != identity) return common::stopFailure(L"removeOwnItem", L"not ours: " + path);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (isRealFolder(attributes)) return removeFolderTree(path);
    return removeEntry(path, attributes);
}

Result<> inheritPermissions(const std::wstring&, const std::string&) { return {}; }

}  // namespace update
