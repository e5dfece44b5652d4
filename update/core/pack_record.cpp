#include "core/pack_record.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"

#include <algorithm>
#include <charconv>
#include <optional>
#include <span>
#include <tuple>

namespace update {
namespace {

constexpr std::string_view eventsPrefix = "Events\\Events\\";
constexpr std::string_view databasePath = "Database\\OrvDb.mdb";
constexpr std::string_view versionPath = "Version.bin";
constexpr std::size_t digestDigits = 64;

common::Failure unreadable(std::string_view why, std::string_view line) {
    std::string text("the program's record of the pack cannot be read: ");
    text.append(why).append(line.substr(0, 200));
    return common::stopFailure(L"Update", common::asciiToWide(text));
}

bool isDigest(std::string_view text) {
    return text.size() == digestDigits && common::bytesOfHex(text);
}

// "<digest> <size> <path>", one blank between them.
std::optional<PackFile> readLine(std::string_view line) {
    constexpr std::size_t sizeAt = digestDigits + 1;
    if (line.size() <= sizeAt || line[digestDigits] != ' ' || !isDigest(line.substr(0, sizeAt - 1)))
        return std::nullopt;
    const std::size_t pathAt = line.find(' ', sizeAt);
    if (pathAt == std::string_view::npos || pathAt + 1 == line.size()) return std::nullopt;
    // No file name holds a control character: a CR there is a record with CRLF lines.
    if (std::ranges::any_of(line.substr(pathAt), [](unsigned char c) { return c < 0x20; }))
        return std::nullopt;
    PackFile file{.path = std::string(line.substr(pathAt + 1)),
                  .sha256 = std::string(line.substr(0, digestDigits))};
    const char* sizeEnd = line.data() + pathAt;
    const auto [end, error] = std::from_chars(line.data() + sizeAt, sizeEnd, file.size);
    if (error != std::errc() || end != sizeEnd) return std::nullopt;
    return file;
}

// Files the record's item with the file, by its path within the item; false
// when no item takes it.
bool take(PackRecord& record, PackFile file, bool& database, bool& version) {
    if (file.path.starts_with(eventsPrefix) && file.path.size() > eventsPrefix.size()) {
        file.path.erase(0, eventsPrefix.size());
        record.events.push_back(std::move(file));
        return true;
    }
    for (auto [seen, path, slot] : {std::tuple{&database, databasePath, &record.database},
                                    {&version, versionPath, &record.version}}) {
        if (file.path != path || *seen) continue;
        *seen = true;
        file.path.clear();
        *slot = std::move(file);
        return true;
    }
    return false;
}

std::string named(std::string_view prefix, const std::string& path, std::string_view how) {
    std::string name(prefix);
    return name.append(path).append(": ").append(how);
}

// The first file, in path order, that the record and the listing disagree
// on, and how; empty when they agree.
std::string firstDifference(std::span<const PackFile> recorded, std::vector<PackFile> found,
                            std::string_view prefix) {
    std::ranges::sort(found, {}, &PackFile::path);
    auto r = recorded.begin();
    auto f = found.begin();
    for (; r != recorded.end() || f != found.end(); ++r, ++f) {
        if (f == found.end() || (r != recorded.end() && r->path < f->path))
            return named(prefix, r->path, "missing");
        if (r == recorded.end() || f->path < r->path)
            return named(prefix, f->path, "not in the pack");
        if (r->size != f->size) return named(prefix, r->path, "other size");
        if (r->sha256 != f->sha256) return named(prefix, r->path, "other digest");
    }
    return {};
}

}  // namespace

common::Result<PackRecord> readPackRecord(std::string_view text) {
    if (text.empty() || text.back() != '\n')
        return unreadable("its last line is not whole: ", text.substr(text.rfind('\n') + 1));
    PackRecord record;
    bool database = false;
    bool version = false;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        auto file = readLine(line);
        if (!file || !take(record, std::move(*file), database, version))
            return unreadable("a line it cannot hold: ", line);
    }
    if (!database || !version)
        return unreadable("no line for ", database ? versionPath : databasePath);
    std::ranges::sort(record.events, {}, &PackFile::path);
    const auto twice = std::ranges::adjacent_find(record.events, {}, &PackFile::path);
    if (twice != record.events.end()) return unreadable("a file recorded twice: ", twice->path);
    return record;
}

DeployResult provePack(FileSystem& fs, const PackRecord* record, const StagedPack& staged) {
    if (!record) {
        common::trace(L"Update: media not checked: this build carries no record of the pack");
        return {};
    }
    const struct {
        std::span<const PackFile> recorded;
        std::string_view prefix;
    } items[] = {{record->events, eventsPrefix},
                 {{&record->database, 1}, databasePath},
                 {{&record->version, 1}, versionPath}};
    auto found = fs.contents({staged.events, staged.database, staged.versionFile});
    if (!found) return found.failure();
    for (std::size_t i = 0; i < std::size(items); ++i) {
        std::vector<PackFile> listed =
            i < found->size() ? std::move((*found)[i]) : std::vector<PackFile>();
        const std::string differs =
            firstDifference(items[i].recorded, std::move(listed), items[i].prefix);
        if (!differs.empty()) {
            std::string why("the media do not hold the pack this program records: ");
            return {common::stopFailure(L"Update", common::asciiToWide(why.append(differs))),
                    StopKind::PackInvalid};
        }
    }
    std::string line = "Update: the staged copies and Version.bin are the recorded pack (";
    line.append(std::to_string(record->events.size() + 2)).append(" files)");
    common::trace(common::asciiToWide(line));
    return {};
}

}  // namespace update
