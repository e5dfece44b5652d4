#pragma once

#include "common/core/failure.hpp"
#include "common/win32/unique_any.hpp"

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

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

// Whether two names are the same to the file system: without regard to case.
bool sameName(std::wstring_view a, std::wstring_view b);

// Whether the failure says nothing is at the path.
bool notFound(const common::Failure& failure);

// An item held open. What the install works on is held so, and everything
// under it is opened by name relative to its held folder: a link swapped in
// for a folder on the way, or the folder renamed away, never leads it
// elsewhere.
struct HeldItem {
    common::win32::UniqueFile handle;
    std::wstring path;      // as it was asked for, to name it in a failure
    std::wstring realPath;  // as the file system names it on its volume
    DWORD attributes = 0;   // from the handle: a link has FILE_ATTRIBUTE_REPARSE_POINT
};

// How an item is opened.
struct ItemOpen {
    ACCESS_MASK access = 0;
    // Without FILE_SHARE_DELETE, nobody renames or replaces the item while
    // it is held (with an access that takes part in sharing: data or delete).
    ULONG share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    // Makes a folder or an empty file where nothing is, instead of opening
    // what is there, with this security descriptor (null: what it inherits).
    bool create = false;
    bool folder = false;
    PSECURITY_DESCRIPTOR security = nullptr;
    // For openPath: a link at the last name leads to what it points to.
    bool followLink = false;
};

// What a reading of the contents opens each item with: nobody writes to a
// file while it is read.
constexpr ItemOpen forReading{.access = FILE_READ_DATA | FILE_READ_ATTRIBUTES,
                              .share = FILE_SHARE_READ};

// What a removal opens each item with.
constexpr ItemOpen forRemoval{.access = DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES |
                                        FILE_WRITE_ATTRIBUTES};

// Opens the item at the full path, a link at its last name as the link
// itself: for the installation folder, which nothing holds yet, and for
// what lies outside it (the media).
common::Result<HeldItem> openPath(const std::wstring& path, const ItemOpen& how);

// Opens the named entry relative to the held folder's handle, so the name is
// looked up in that very folder whatever is done to paths meanwhile. A link
// at the name is opened as the link, where the file system can: a host link
// under Wine is followed all the same, and is refused because the item
// opened is then not at the name it was opened by.
common::Result<HeldItem> openEntry(const HeldItem& folder, const std::wstring& name,
                                   const ItemOpen& how);

// What a walk does with what it meets; each step may be left empty.
struct TreeVisit {
    using Step = std::function<common::Result<>(HeldItem& item, std::size_t depth)>;
    // Each entry that is not a folder of its own (a file or a link), and the
    // root when it is one.
    Step file{};
    // Each folder under the root, before what is in it; a failure leaves
    // out what is in it.
    Step enter{};
    // Each folder, the root last, once what is in it was visited, its
    // entries closed.
    Step leave{};
    // Goes on past a failure, returning the first, instead of stopping.
    bool goOn = false;
};

// Visits the tree under the held root, depth first. Every entry is opened
// with `how` (a folder also for listing) by its name under its held folder,
// which stays held until all in it was visited; links are visited, never
// followed. The walk keeps its own stack, so a tree nested thousands of
// folders deep needs no more of the thread's stack than a flat one.
common::Result<> walkTree(HeldItem root, const ItemOpen& how, const TreeVisit& visit);

// Sets the item's marks (read-only, hidden, system, ...) through its handle,
// never through a path, which could lead elsewhere by then. Other
// attributes in `attributes` are left out.
common::Result<> setAttributes(HANDLE item, DWORD attributes, const std::wstring& path);

// Marks the item to go when its last handle closes, or takes the mark off
// (the idiom named at the top of durable_files.hpp).
common::Result<> setGoesOnClose(HANDLE item, bool goes, const std::wstring& path);

// Removes the held item, and a folder with everything in it, read-only
// entries included, through handles only (walkTree), each entry judged from
// its own handle and deleted through it. A link goes as the link itself and
// is never followed; one the file system follows all the same (a host link
// under Wine) stays, and the removal fails. Goes on past what cannot be
// removed, so as much as possible is gone, and returns the first failure.
common::Result<> removeHeldItem(HeldItem item);

}  // namespace update
