#include "win32/pack_version_file.hpp"

#include "core/version_file.hpp"

#include "common/win32/ansi_text.hpp"
#include "common/win32/failed_call.hpp"
#include "common/win32/unique_any.hpp"

#include <windows.h>

namespace update {
namespace {

// The version sits in the first lines; a larger file is not a version file
// and is refused rather than read into memory whole.
constexpr LONGLONG maximumFileSize = 16 * 1024 * 1024;

}  // namespace

common::Result<std::string> readPackVersionFile(const std::string& path) {
    const std::wstring widePath = common::win32::ansiToWide(path);
    const common::win32::UniqueFile file(CreateFileW(widePath.c_str(), GENERIC_READ,
                                                     FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return FAILED_CALL(CreateFileW);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return FAILED_CALL(GetFileSizeEx);
    if (size.QuadPart > maximumFileSize)
        return common::stopFailure(L"readPackVersionFile",
                                   L"the version file is larger than 16 MiB");
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(file.get(), bytes.data() + filled, static_cast<DWORD>(bytes.size() - filled),
                      &got, nullptr)) {
            return FAILED_CALL(ReadFile);
        }
        if (got == 0) break;  // the file shrank meanwhile
        filled += got;
    }
    bytes.resize(filled);
    return packVersionIn(bytes);
}

}  // namespace update
