#pragma once

#include "common/core/failure.hpp"

#include <windows.h>

#include <functional>
#include <string>

namespace update {

inline bool isLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
// A folder of its own, not a link to one.
inline bool isRealFolder(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !isLink(attributes);
}

using VisitEntry = std::function<common::Result<>(const std::wstring& path, DWORD attributes)>;

struct FolderWalk {
    // Also visits each folder, the walked one included, once its contents
    // were visited and its listing is closed (which would otherwise hold it).
    bool folders = false;
    // Goes on past a failed visit, so a removal gets as far as it can; each
    // failure but the first, which is the result, is traced as it is passed.
    bool goOn = false;
};

// Visits every file and link under the folder, depth first. Links are
// visited themselves, never followed, so the walk stays inside the tree.
common::Result<> walkFolder(const std::wstring& folder, const VisitEntry& visit, FolderWalk how);

}  // namespace update
