#pragma once

#include "common/core/failure.hpp"

#include <string>

namespace update {

// Opens the log file the command line names, making it when it is missing,
// and from now on appends every traced line to it, for the rest of the
// process: UTF-8, each line with its local time and the process, written
// as it comes, so that a run ended at any moment leaves what it did. Other
// runs may log to the same file meanwhile. The run may be elevated and the
// file lie where others can write, so the file must be reached as named: a
// link at its name or on the way to it, or a second name of the file, is
// refused, and what this call made then goes again.
// Either separator may be used in the path.
common::Result<> startRunLog(const std::wstring& path);

// Has the log's last lines, the run's outcome among them, reach the disk
// before the process ends.
void finishRunLog();

}  // namespace update
