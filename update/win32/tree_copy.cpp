#include "win32/tree_copy.hpp"

#include "common/win32/failed_call.hpp"

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace update {
namespace {

using common::Result;

// Large enough that a file of the pack takes a few calls, small enough to
// stay out of the way of the rest of the process.
constexpr DWORD chunk = 1024 * 1024;

// The marks an item keeps when copied, read-only left out.
constexpr DWORD keptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

Result<> keepTimesAndAttributes(HANDLE from, HANDLE to, const std::wstring& path) {
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(from, FileBasicInfo, &basic, sizeof basic))
        return FAILED_CALL(GetFileInformationByHandleEx).about(path);
    basic.ChangeTime.QuadPart = 0;           // the system's own
    basic.FileAttributes &= keptAttributes;  // 0: the made item's own are left
    if (!SetFileInformationByHandle(to, FileBasicInfo, &basic, sizeof basic))
        return FAILED_CALL(SetFileInformationByHandle).about(path);
    return {};
}

// The one place every byte the install copies passes through, from the read
// handle to the write handle. A file written over may have been longer:
// `truncate` ends it where the bytes end (a file just made needs nothing).
Result<> copyBytes(HANDLE from, HANDLE to, char* buffer, const std::wstring& path, bool truncate) {
    LARGE_INTEGER length{};
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(from, buffer, chunk, &read, nullptr))
            return FAILED_CALL(ReadFile).about(path);
        if (read == 0) break;
        for (DWORD done = 0; done < read;) {
            DWORD written = 0;
            if (!WriteFile(to, buffer + done, read - done, &written, nullptr))
                return FAILED_CALL(WriteFile).about(path);
            done += written;
        }
        length.QuadPart += read;
    }
    FILE_END_OF_FILE_INFO end{length};
    if (truncate && !SetFileInformationByHandle(to, FileEndOfFileInfo, &end, sizeof end))
        return FAILED_CALL(SetFileInformationByHandle).about(path);
    return {};
}

std::wstring nameOf(const HeldItem& item) {
    return item.path.substr(item.path.find_last_of(L'\\') + 1);
}

// The copy's side of the walk over the source: the destination folders made
// so far, one per level.
class TreeCopy {
public:
    explicit TreeCopy(const HeldItem& root) : root_(root), buffer_(new char[chunk]) {}

    Result<> file(HeldItem& source, std::size_t depth) {
        if (isLink(source.attributes))
            return common::stopFailure(L"copyTree", L"a link in the media: " + source.path);
        auto made = openEntry(into(depth), nameOf(source),
                              {.access = GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                               .share = FILE_SHARE_READ,
                               .create = true});
        if (!made) return made.failure();
        if (auto copied = copyBytes(source.handle.get(), made->handle.get(), buffer_.get(),
                                    made->path, false);
            !copied)
            return copied;
        return keepTimesAndAttributes(source.handle.get(), made->handle.get(), made->path);
    }

    Result<> enter(HeldItem& source, std::size_t depth) {
        auto made = openEntry(into(depth), nameOf(source),
                              {.access = FILE_LIST_DIRECTORY | FILE_TRAVERSE |
                                         FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                               .create = true,
                               .folder = true});
        if (!made) return made.failure();
        made_.push_back(std::move(*made));
        return {};
    }

    // Once what is in it was written, which changes its times.
    Result<> leave(HeldItem& source, std::size_t depth) {
        if (depth == 0) return {};  // the destination itself is left as it is
        const HeldItem made = std::move(made_.back());
        made_.pop_back();
        return keepTimesAndAttributes(source.handle.get(), made.handle.get(), made.path);
    }

private:
    // The destination folder of the entries at that depth.
    const HeldItem& into(std::size_t depth) const { return depth == 1 ? root_ : made_[depth - 2]; }

    const HeldItem& root_;
    std::vector<HeldItem> made_;
    std::unique_ptr<char[]> buffer_;
};

}  // namespace

Result<> copyFileContents(HANDLE from, HANDLE to, const std::wstring& path) {
    const std::unique_ptr<char[]> buffer(new char[chunk]);
    if (auto copied = copyBytes(from, to, buffer.get(), path, true); !copied) return copied;
    return keepTimesAndAttributes(from, to, path);
}

Result<> copyTree(HeldItem from, const HeldItem& to) {
    if (!isRealFolder(from.attributes))
        return common::stopFailure(L"copyTree", L"not a folder: " + from.path);
    TreeCopy copy(to);
    return walkTree(
        std::move(from), {.access = GENERIC_READ, .share = FILE_SHARE_READ},
        {.file = [&](HeldItem& item, std::size_t depth) { return copy.file(item, depth); },
         .enter = [&](HeldItem& item, std::size_t depth) { return copy.enter(item, depth); },
         .leave = [&](HeldItem& item, std::size_t depth) { return copy.leave(item, depth); }});
}

}  // namespace update
