#pragma once

#include <string>

namespace update {

// The folder of a program path: cut at the last backslash, which is kept only
// at a drive root ("C:\Update.exe" gives "C:\", "D:\SP\Update.exe" gives "D:\SP").
std::string folderOfProgram(const std::string& programPath);

// The folder of the running program, where the service pack's files lie.
std::string runningProgramFolder();

}  // namespace update
