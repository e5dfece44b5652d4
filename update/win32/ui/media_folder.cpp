#include "win32/ui/media_folder.hpp"

#include <windows.h>

namespace update {

std::string folderOfProgram(const std::string& programPath) {
    const auto cut = programPath.find_last_of('\\');
    if (cut == std::string::npos) return {};
    std::string folder = programPath.substr(0, cut);
    if (folder.size() == 2 && folder[1] == ':') folder += '\\';
    return folder;
}

std::string runningProgramFolder() {
    // Grown until the whole path fits: a truncated path would name the wrong folder.
    std::string path(MAX_PATH, '\0');
    while (path.size() <= 32768) {
        const DWORD length =
            GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return folderOfProgram(path);
        }
        path.resize(path.size() * 2);
    }
    return {};
}

}  // namespace update
