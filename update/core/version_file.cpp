#include "core/version_file.hpp"

#include "common/core/text.hpp"

#include <algorithm>

namespace update {

std::string packVersionIn(std::string_view bytes) {
    std::string packVersion;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        // A line ends at CR, CRLF or a lone LF; the original sequential text
        // input also accepts a bare LF, so files written on other systems work.
        // All other bytes (NUL included) are ordinary line content.
        const auto end = bytes.find_first_of("\r\n", pos);
        std::string line(
            bytes.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos));
        if (end == std::string_view::npos) {
            pos = bytes.size();
        } else if (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') {
            pos = end + 2;
        } else {
            pos = end + 1;
        }

        line.erase(std::remove(line.begin(), line.end(), '\t'), line.end());
        if (line.empty()) continue;
        line = std::string(common::trimBlanks(line));
        if (line.size() < 5) continue;
        // First and last characters are delimiters around the version.
        packVersion = line.substr(1, line.size() - 2);
        if (packVersion.size() >= 5) break;
    }
    return packVersion;
}

}  // namespace update
