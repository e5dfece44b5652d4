#pragma once

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

// A small file read whole; nullopt when it cannot be read.
std::optional<std::string> readSmallFile(const std::wstring& path);

// Appends the text, creating the file hidden if it is missing, and returns
// once the text is on disk.
bool appendDurably(const std::wstring& path, const std::string& text);

}  // namespace update
