#include "win32/folder_walk.hpp"

#include "common/core/trace.hpp"
#include "common/win32/failed_call.hpp"
#include "common/win32/unique_any.hpp"

namespace update {
namespace {

void walkContents(const std::wstring& folder, const VisitEntry& visit, FolderWalk how,
                  common::FirstFailure& outcome) {
    WIN32_FIND_DATAW entry{};
    const common::win32::unique_hfind find(FindFirstFileW((folder + L"\\*").c_str(), &entry));
    if (!find) {
        outcome.add(FAILED_CALL(FindFirstFileW).about(folder));
        return;
    }
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        const DWORD attributes = entry.dwFileAttributes;
        if (isRealFolder(attributes)) {
            walkContents(path, visit, how, outcome);
            if (how.folders && (outcome || how.goOn)) outcome.add(visit(path, attributes));
        } else {
            outcome.add(visit(path, attributes));
        }
        if (!outcome && !how.goOn) return;
    } while (FindNextFileW(find.get(), &entry));
    if (GetLastError() != ERROR_NO_MORE_FILES)
        outcome.add(FAILED_CALL(FindNextFileW).about(folder));
}

}  // namespace

common::Result<> walkFolder(const std::wstring& folder, const VisitEntry& visit, FolderWalk how) {
    common::FirstFailure outcome;
    walkContents(folder, visit, how, outcome);
    if (how.folders && (outcome || how.goOn)) {
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        outcome.add(attributes == INVALID_FILE_ATTRIBUTES
                        ? common::Result<>(FAILED_CALL(GetFileAttributesW).about(folder))
                        : visit(folder, attributes));
    }
    return std::move(outcome).result();
}

}  // namespace update
