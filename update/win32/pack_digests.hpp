// The pack as the disk holds it, hashed by the platform, and the record of
// the pack this program carries.
#pragma once

#include "core/deployment.hpp"
#include "core/pack_record.hpp"
#include "win32/folder_walk.hpp"

#include "common/core/failure.hpp"

#include <optional>
#include <string>
#include <vector>

namespace update {

// FileSystem::contents on the live system, for items already held: for
// each root every file of its folder tree, or the file alone; none for a
// root with no handle (nothing there). Each file is opened under its held
// folder, sharing only reading, read whole in large reads and hashed with
// the platform's SHA-256 (BCrypt), a few files at a time from as many
// threads, the files alone (the database, the longest) first. Names are
// UTF-8, relative to their root. A link in a tree, a file that cannot be
// opened (held by another program) or a failed hash call fails it, naming
// the file.
common::Result<std::vector<std::vector<PackFile>>> listWithDigests(std::vector<HeldItem> roots);

// The record of the pack the release build put into this program (an
// RCDATA resource); none in a build without one. A record that cannot be
// read fails.
common::Result<std::optional<PackRecord>> loadPackRecord();

}  // namespace update
