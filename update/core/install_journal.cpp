#include "core/install_journal.hpp"

#include <array>
#include <string_view>

namespace update {
namespace {

constexpr std::string_view kMark = "Update.exe install journal/3 run=";
constexpr std::string_view kPack = " pack=";

struct Tag {
    Action action;
    std::optional<Item> item;
    std::string_view text;
    const char* copySuffix;  // the line names a copy with this suffix; null: it names nothing
};

constexpr std::array<Tag, 12> kTags{{
    {Action::Claim, Item::Events, "claim-events", ".new"},
    {Action::Claim, Item::Database, "claim-database", ".new"},
    {Action::Fill, Item::Events, "fill-events", nullptr},
    {Action::Fill, Item::Database, "fill-database", nullptr},
    {Action::SetAside, Item::Events, "aside-events", ".old"},
    {Action::SetAside, Item::Database, "aside-database", ".old"},
    {Action::PutLive, Item::Events, "live-events", nullptr},
    {Action::PutLive, Item::Database, "live-database", nullptr},
    {Action::Commit, {}, "commit", nullptr},
    {Action::Undoing, {}, "undoing", nullptr},
    {Action::Installed, {}, "installed", nullptr},
    {Action::Undone, {}, "undone", nullptr},
}};

const Tag* tagOf(const Record& record) {
    for (const Tag& tag : kTags)
        if (tag.action == record.action && tag.item == record.item) return &tag;
    return nullptr;
}

bool isOwnCopy(std::optional<Item> item, const char* suffix, std::string_view leaf) {
    for (int i = 0; i < kCopyNames; ++i)
        if (leaf == copyLeaf(*item, suffix, i)) return true;
    return false;
}

// Adds the record of one line after the first; false when the line is
// nothing this program writes.
bool readRecord(std::string_view line, std::vector<Record>& records) {
    const std::size_t blank = line.find(' ');
    for (const Tag& tag : kTags) {
        if (line.substr(0, blank) != tag.text) continue;
        Record& record = records.emplace_back(Record{tag.action, tag.item, {}, {}});
        if (!tag.copySuffix) return blank == std::string_view::npos;
        if (blank == std::string_view::npos) return false;
        const std::string_view values = line.substr(blank + 1);
        const std::size_t second = values.find(' ');
        if (second == std::string_view::npos) return false;
        record.leaf = values.substr(0, second);
        record.identity = values.substr(second + 1);
        return isOwnCopy(tag.item, tag.copySuffix, record.leaf) && !record.identity.empty() &&
               record.identity.find(' ') == std::string::npos;
    }
    return false;
}

// Numbers below 100, from the second name on.
std::string numbered(std::string name, int i) {
    if (i >= 10) name += static_cast<char>('0' + i / 10);
    if (i > 0) name += static_cast<char>('0' + i % 10);
    return name;
}

}  // namespace

std::string copyLeaf(Item item, const char* suffix, int i) {
    std::string leaf = item == Item::Events ? "Events" : "OrvDb.mdb";
    return numbered(leaf.append(suffix), i);
}

const Record* InstallJournal::find(Action action, std::optional<Item> item) const {
    for (auto it = records.rbegin(); it != records.rend(); ++it)
        if (it->action == action && it->item == item) return &*it;
    return nullptr;
}

bool InstallJournal::has(Action action) const {
    for (const Record& record : records)
        if (record.action == action) return true;
    return false;
}

std::string firstLine(const std::string& runId, const std::string& packVersion) {
    std::string line(kMark);
    return line.append(runId).append(kPack).append(packVersion).append("\r\n");
}

std::string recordLine(const Record& record) {
    const Tag* tag = tagOf(record);
    if (!tag) return {};
    std::string line(tag->text);
    if (tag->copySuffix) line.append(" ").append(record.leaf).append(" ").append(record.identity);
    return line.append("\r\n");
}

std::optional<InstallJournal> readJournal(const std::string& text) {
    if (text.size() >= kJournalLimit) return std::nullopt;
    InstallJournal journal;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string_view line(text.data() + start, end - start);
        if (start == 0) {
            const std::size_t pack = line.find(kPack);
            if (!line.starts_with(kMark) || pack == std::string_view::npos || pack == kMark.size())
                return std::nullopt;
            journal.runId = line.substr(kMark.size(), pack - kMark.size());
            journal.packVersion = line.substr(pack + kPack.size());
        } else if (!readRecord(line, journal.records)) {
            return std::nullopt;
        }
        journal.text = text.substr(0, end + 2);
    }
    // Without a whole first line it never became a journal.
    if (journal.text.empty()) return std::nullopt;
    return journal;
}

}  // namespace update
