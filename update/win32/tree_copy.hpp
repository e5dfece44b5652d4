#pragma once

#include "win32/folder_walk.hpp"

#include "common/core/failure.hpp"

#include <windows.h>

#include <string>

namespace update {

// The install's own copy of the media into the installation: every folder
// and file is made by its name under its held destination folder, where
// nothing is yet (never through a link, never making one), and written
// through its own handle. The files keep their times and marks, except
// read-only, which a mounted image gives every file and the live database
// must not have.

// Copies the file read through `from` into the file written through `to`:
// its bytes from the start, the written file ending where they end, then
// its times and marks. Every byte copied passes through here once.
common::Result<> copyFileContents(HANDLE from, HANDLE to, const std::wstring& path);

// Copies what is in the held source folder (opened for reading) into the
// held, empty destination folder.
common::Result<> copyTree(HeldItem from, const HeldItem& to);

}  // namespace update
