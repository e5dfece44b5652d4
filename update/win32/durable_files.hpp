#pragma once

#include "win32/folder_walk.hpp"

#include "common/core/failure.hpp"

#include <functional>
#include <string>
#include <vector>

namespace update {

// File operations of the install step on held items, whose effect is on
// disk when they succeed, so a power cut right after cannot take it back.
// Each works through the handles of the items it is given and of what it
// opens under them, never by a path a user could redirect meanwhile.
//
// Crash safety rests on one idiom, "goes with its handle": an item is made
// with its handle marked to go when it closes (FILE_DISPOSITION_INFO), so
// it goes with the process however that ends, killed or crashed, unless the
// mark is taken off once the item is noted in the journal.

// Renames the held item to the name in the held folder without replacing
// anything, returning once the rename is on disk: the volume the item lies
// on is flushed where it can be, otherwise the folder it now lies in. Fails,
// the rename done all the same, when another item than the held one then
// lies at the name (Wine renames by the path the handle was opened by).
common::Result<> renameHeld(const HeldItem& item, const HeldItem& toFolder,
                            const std::wstring& name);

// Writes the held files, and every file in the held folders' trees, through
// to disk: one flush of each volume they lie on where the volume can be
// flushed, otherwise a flush of each file, a few at once.
common::Result<> flushHeld(std::vector<HeldItem> items);

// Gives the held item (opened with READ_CONTROL and WRITE_DAC) the
// permissions of the folder it lies in, as a copy made there would have
// them, and so everything in it, deepest first and the item last: each
// loses its own entries and inherits again, so nothing in it is open to
// more than the item itself while the change reaches down.
common::Result<> resetPermissions(HeldItem item);

// Opens the entry of the folder while it is the item of that identity (as
// identityOf gives it) and not a link in its place; otherwise fails with a
// stop.
common::Result<HeldItem> openOwnItem(const HeldItem& folder, const std::wstring& name,
                                     const std::string& identity, const ItemOpen& how);

// Makes an empty folder or file at the name in the held folder where nothing
// is yet, which goes with its handle unless `keep` accepts its identity, and
// returns it held (for its attributes only, so it keeps no other program
// out). It is made for SYSTEM and the administrators alone, and
// what is made in it inherits that, so nobody else can plant a link in it
// while it is filled; resetPermissions gives it the installation's
// permissions as it goes live. Fails on a file system that does not keep
// an item's identity through a rename (FAT, exFAT), where the swap could
// not tell the staged copy from the live item.
common::Result<HeldItem> claimAt(
    const HeldItem& folder, const std::wstring& name, bool makeFolder,
    const std::function<common::Result<>(const std::string& identity)>& keep);

// What tells the item from any other, and stays with it when it is renamed:
// the volume serial number and the file index, as
// "vvvvvvvv-iiiiiiiiiiiiiiii", where the file system keeps the index with
// the item (NTFS, ReFS, or any that opens by file id); elsewhere (FAT,
// exFAT: there the index is the directory entry's place, which a rename can
// move) the serial and the creation time, as "vvvvvvvv-tcccccccccccccccc",
// which a name taken again within seconds of being freed inherits.
common::Result<std::string> identityOf(HANDLE item, const std::wstring& path);

}  // namespace update
