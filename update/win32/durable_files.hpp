#pragma once

#include "common/core/failure.hpp"
#include "common/win32/unique_any.hpp"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace update {

// File operations of the install step whose effect is on disk when they
// succeed, so a power cut right after cannot take it back. Trees are walked
// without following links.

// Renames without replacing anything, returning once the rename is on disk.
common::Result<> renameDurably(const std::wstring& from, const std::wstring& to);

// Writes the files, and every file in the folder trees, through to disk:
// one flush of each volume they lie on where the volume can be flushed,
// otherwise a flush of each file, a few at once.
common::Result<> flushToDisk(const std::vector<std::wstring>& paths);

// Succeeds when every file, folder and link in the folder tree, the folder
// itself included, could be opened for deletion with no sharing: nobody
// else holds any of them.
common::Result<> canRemoveTree(const std::wstring& folder);

// Removes a folder with everything in it, read-only entries included.
// Links are removed themselves and never followed, so whatever they point
// to is left untouched; a link that cannot be removed on its own stays, and
// the removal fails. Goes on past what cannot be removed, so as much as
// possible is gone.
common::Result<> removeFolderTree(const std::wstring& folder);

// The first 64 KiB of a small file.
common::Result<std::string> readSmallFile(const std::wstring& path);

// Writes the text at the offset, ending the file there, and returns once it
// is on disk. Offset 0 creates the file hidden where nothing is, and the
// file goes again unless the text reaches the disk.
common::Result<> writeDurably(const std::wstring& path, std::size_t offset,
                              const std::string& text);

// Makes an empty folder or file where nothing is yet, which goes again when
// its handle closes, at the latest when the process ends, unless `keep`
// accepts its identity.
common::Result<> claimName(
    const std::wstring& path, bool folder,
    const std::function<common::Result<>(const std::string& identity)>& keep);

// Opens the lock file with no sharing, so nobody else opens it while the
// handle lives; the system closes the handle when the process ends, however
// it ends, and then removes the file. Fails while another setup holds it.
common::Result<common::win32::unique_hfile> holdLockFile(const std::wstring& path);

// The volume serial number and file index of what is at the path, as
// "vvvvvvvv-iiiiiiiiiiiiiiii"; empty when nothing is there. A link is told
// apart from what it points to.
common::Result<std::string> fileIdentity(const std::wstring& path);

// Removes the file, or the folder with all in it, while it is the item of
// that identity.
common::Result<> removeOwnItem(const std::wstring& path, const std::string& identity);

// Gives the item of that identity the permissions it inherits where it lies.
common::Result<> inheritPermissions(const std::wstring& path, const std::string& identity);

}  // namespace update
