// The record of the pack a release was built with, and the proof that the
// staged copies hold it.
#pragma once

#include "core/deployment.hpp"

#include "common/core/failure.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace update {

// What the release recorded of the pack, which the install must find on the
// media: every file of Events\Events, the database and Version.bin. The
// record is built into the signed program, so that editing the media, a
// record beside them included, cannot make damaged media acceptable. Its
// text is one line a file, in path order (bytes compared), no other lines:
//   <SHA-256, 64 lower-case hex digits> <size in bytes> <path under the media folder>
// with backslashes in the path (UTF-8), and "\n" after each line:
//   ...9a41 13 Events\Events\alarms.evt
//   ...07cc 16 Database\OrvDb.mdb
//   ...5e2d 9 Version.bin
// Each item's files are kept by their path within the item, as the file
// system's listing names them: empty for the database and Version.bin.
struct PackRecord {
    std::vector<PackFile> events;  // in path order
    PackFile database;
    PackFile version;
};

// Fails, naming the first line it cannot take, unless the text holds each
// of the three items, no line twice and nothing else.
common::Result<PackRecord> readPackRecord(std::string_view text);

// What a run proves before it changes anything live: its filled and flushed
// staged copies, and the media's version file.
struct StagedPack {
    std::string events;
    std::string database;
    std::string versionFile;
};

// Proves that the staged copies hold exactly the recorded files with the
// recorded sizes and digests, no file more, and that the version file is
// the recorded one. A difference stops as PackInvalid naming the first file
// that differs and how (missing, other size, other digest, not in the
// pack); a listing that fails stops as Failed. Without a record (a build
// that carries none) it traces that the media were not checked.
DeployResult provePack(FileSystem& fs, const PackRecord* record, const StagedPack& staged);

}  // namespace update
