#pragma once

#include "common/core/failure.hpp"
#include "common/win32/unique_any.hpp"

#include <windows.h>

#include <functional>
#include <string>

namespace update {

inline bool isLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
// A folder of its own, not a link to one.
inline bool isRealFolder(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !isLink(attributes);
}

// The path in full with the \\?\ prefix (\\?\UNC\ for a share), which lifts
// the 260-character limit of the file calls: a live item's path may be near
// it, and the names the install adds go past it.
common::Result<std::wstring> extendedPath(const std::wstring& path);

using VisitEntry = std::function<common::Result<>(const std::wstring& path, DWORD attributes)>;

struct FolderWalk {
    // Also visits each folder, the walked one included, once its contents
    // were visited and its listing is closed (which would otherwise hold it).
    bool folders = false;
};

// Visits every file and link under the folder by path, depth first, and
// stops at the first failed visit. Links are visited themselves, never
// followed, so the walk stays inside the tree; a folder that is itself a
// link, or a file, is visited alone. For walks that change nothing.
common::Result<> walkFolder(const std::wstring& folder, const VisitEntry& visit, FolderWalk how);

// An item held open, as the walks that change things hold every item they
// work on.
struct HeldItem {
    common::win32::unique_hfile handle;
    std::wstring path;      // as it was asked for, to name it in a failure
    std::wstring realPath;  // as the file system names it on its volume
    DWORD attributes = 0;   // from the handle: a link has FILE_ATTRIBUTE_REPARSE_POINT
};

// How an item is opened under the folder it lies in.
struct ItemOpen {
    ACCESS_MASK access = 0;
    // Without FILE_SHARE_DELETE, nobody renames or replaces the item while
    // it is held.
    ULONG share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    // Makes a folder or an empty file where nothing is, instead of opening
    // what is there, with this security descriptor.
    bool create = false;
    bool folder = false;
    PSECURITY_DESCRIPTOR security = nullptr;
};

// What a removal opens each item with.
constexpr ItemOpen kForRemoval{.access = DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES |
                                         FILE_WRITE_ATTRIBUTES};

// Opens the item at the path by its name under its folder, without
// following a link at that name: a link there is opened as the link
// itself. The folder, the installation's own, is found by its path.
common::Result<HeldItem> openItemAt(const std::wstring& path, const ItemOpen& how);

// Sets the item's marks (read-only, hidden, system, ...) through its handle,
// never through a path, which could lead elsewhere by then. Other
// attributes in `attributes` are left out.
common::Result<> setMarks(HANDLE item, DWORD attributes, const std::wstring& path);

// Marks the item to go when its last handle closes, or takes the mark off
// (the idiom named at the top of durable_files.hpp).
common::Result<> markGoesOnClose(HANDLE item, bool goes, const std::wstring& path);

// Removes the held item, and a folder with everything in it, read-only
// entries included, through handles only: each entry is opened by its name
// under its held folder, judged from its own handle and deleted through it.
// A link goes as the link itself and is never followed; one the file system
// follows all the same (a host link under Wine) stays, and the removal
// fails. Goes on past what cannot be removed, so as much as possible is
// gone, and returns the first failure.
common::Result<> removeHeldItem(HeldItem item);

}  // namespace update
