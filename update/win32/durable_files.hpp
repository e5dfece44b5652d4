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
// without following links, and every path is taken as an extended path
// (\\?\), so items past the 260-character limit are handled like any other.
//
// Crash safety rests on one idiom, "goes with its handle": an item is made
// with its handle marked to go when it closes (FILE_DISPOSITION_INFO), so
// it goes with the process however that ends, killed or crashed, unless the
// mark is taken off once the item is recorded in the journal. The claims
// are made so; the lock goes the same way, for good.

// Renames without replacing anything, returning once the rename is on disk:
// the volume the item now lies on is flushed where it can be, otherwise the
// folder it now lies in.
common::Result<> renameDurably(const std::wstring& from, const std::wstring& to);

// Writes the files, and every file in the folder trees, through to disk:
// one flush of each volume they lie on (found from the open item, so a
// junction or mount point on the way leads to the right one) where the
// volume can be flushed, otherwise a flush of each file, a few at once.
common::Result<> flushToDisk(const std::vector<std::wstring>& paths);

// Succeeds when every file, folder and link in the folder tree, the folder
// itself included, could be opened for deletion with no sharing: nobody
// else holds any of them.
common::Result<> canRemoveTree(const std::wstring& folder);

// Removes the file, or the folder with everything in it, at the path, only
// while the item there is still the one of that identity (as fileIdentity
// gives it); otherwise fails with a stop and touches nothing. The item and
// everything in it is held and removed through handles (removeHeldItem), so
// a link swapped in on the way never leads the removal elsewhere.
common::Result<> removeOwnItem(const std::wstring& path, const std::string& identity);

// Gives the item at the path, while it is still the one of that identity,
// the permissions of the folder it lies in, as a copy made there would have
// them: its own entries go and its DACL inherits again, and so does
// everything in it.
common::Result<> inheritPermissions(const std::wstring& path, const std::string& identity);

// Makes an empty folder or file where nothing is yet, which goes with its
// handle unless `keep` accepts its identity. It is made for SYSTEM and the
// administrators alone, and what is made in it inherits that, so nobody
// else can plant a link in it while it is filled; inheritPermissions gives
// it the installation's permissions as it goes live. Fails on a file
// system that does not keep an item's identity through a rename (FAT,
// exFAT), where the swap could not tell the staged copy from the live item.
common::Result<> claimName(
    const std::wstring& path, bool folder,
    const std::function<common::Result<>(const std::string& identity)>& keep);

// Opens the lock file with no sharing, so nobody else opens it while the
// handle lives; the lock goes with its handle. A link at its name is opened
// as the link, never followed. Fails while another setup holds it.
common::Result<common::win32::unique_hfile> holdLockFile(const std::wstring& path);

// What tells the item at the path from any other, and stays with it when it
// is renamed: the volume serial number and the file index, as
// "vvvvvvvv-iiiiiiiiiiiiiiii", where the file system keeps the index with
// the item (NTFS, ReFS, or any that opens by file id); elsewhere (FAT,
// exFAT: there the index is the directory entry's place, which a rename can
// move) the serial and the creation time, as "vvvvvvvv-tcccccccccccccccc",
// which a name taken again within seconds of being freed inherits. Empty
// when nothing is there. A link is told apart from what it points to.
common::Result<std::string> fileIdentity(const std::wstring& path);

}  // namespace update
