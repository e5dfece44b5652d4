#include "pack_version_file.hpp"

#include "file_handle.hpp"
#include "fso_file_system.hpp"
#include "version_file.hpp"

#include <windows.h>

namespace update {
namespace {

// The version sits in the first lines; a larger file is not a version file
// and is refused rather than read into memory whole.
constexpr LONGLONG kMaximumFileSize = 16 * 1024 * 1024;

}  // namespace

std::optional<std::string> readPackVersionFile(const std::string& path) {
    FileHandle file(CreateFileW(ansiToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return std::nullopt;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaximumFileSize) {
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(file.get(), bytes.data() + filled, static_cast<DWORD>(bytes.size() - filled),
                      &got, nullptr)) {
            return std::nullopt;
        }
        if (got == 0) break;  // the file shrank meanwhile
        filled += got;
    }
    bytes.resize(filled);
    return readPackVersion(bytes);
}

}  // namespace update
