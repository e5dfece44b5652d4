#pragma once

#include "common/win32/unique_any.hpp"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace update {

// File operations of the install step whose effect is on disk when they
// return true, so a power cut right after cannot take it back. Trees are
// walked without following links. Every failure is traced.

// Renames without replacing anything, returning once the rename is on disk.
bool renameDurably(const std::wstring& from, const std::wstring& to);

// Writes the file, or every file in the folder tree, through to disk.
bool flushToDisk(const std::wstring& path);

// True when every file, folder and link in the folder tree, the folder
// itself included, could be opened for deletion with no sharing: nobody
// else holds any of them.
bool canRemoveTree(const std::wstring& folder);

// The first 64 KiB of a small file; nullopt when it cannot be read.
std::optional<std::string> readSmallFile(const std::wstring& path);

// Writes the text at the offset, ending the file there, and returns once it
// is on disk. Offset 0 creates the file hidden where nothing is, and the
// file goes again unless the text reaches the disk.
bool writeDurably(const std::wstring& path, std::size_t offset, const std::string& text);

// Makes an empty folder or file where nothing is yet, which goes again when
// its handle closes, at the latest when the process ends, unless `keep`
// accepts its identity.
bool claimName(const std::wstring& path, bool folder,
               const std::function<bool(const std::string& identity)>& keep);

// Opens the lock file with no sharing, so nobody else opens it while the
// handle lives; the system closes the handle when the process ends, however
// it ends, and then removes the file. An invalid handle when it is held.
common::win32::unique_hfile holdLockFile(const std::wstring& path);

// The volume serial number and file index of what is at the path, as
// "vvvvvvvv-iiiiiiiiiiiiiiii"; empty when nothing is there, nullopt when it
// cannot be told. A link is told apart from what it points to.
std::optional<std::string> fileIdentity(const std::wstring& path);

}  // namespace update
