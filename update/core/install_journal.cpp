#include "core/install_journal.hpp"

#include <array>
#include <string_view>

namespace update {
namespace {

constexpr std::string_view kMark = "Update.exe install journal/2 run=";
constexpr std::string_view kPack = " pack=";

struct Tag {
    Action action;
    Item item;
    std::string_view text;
    const char* copySuffix;  // the line names a copy with this suffix; null: it names nothing
};

constexpr std::array<Tag, 11> kTags{{
    {Action::Claim, Item::Events, "claim-events", ".new"},
    {Action::Claim, Item::Database, "claim-database", ".new"},
    {Action::Fill, Item::Events, "fill-events", nullptr},
    {Action::Fill, Item::Database, "fill-database", nullptr},
    {Action::SetAside, Item::Events, "aside-events", ".old"},
    {Action::SetAside, Item::Database, "aside-database", ".old"},
    {Action::PutLive, Item::Events, "live-events", nullptr},
    {Action::PutLive, Item::Database, "live-database", nullptr},
    {Action::Commit, Item::Events, "commit", nullptr},
    {Action::Installed, Item::Events, "installed", nullptr},
    {Action::Undone, Item::Events, "undone", nullptr},
}};

const Tag* tagOf(const Record& record) {
    for (const Tag& tag : kTags)
        if (tag.action == record.action && tag.item == record.item) return &tag;
    return nullptr;
}

bool isOwnCopy(Item item, const char* suffix, std::string_view leaf) {
    for (int i = 0; i < kCopyNames; ++i)
        if (leaf == copyLeaf(item, suffix, i)) return true;
    return false;
}

// One line after the first; nullopt when it is nothing this program writes.
std::optional<Record> readRecord(std::string_view line) {
    const std::size_t blank = line.find(' ');
    const std::string_view name = line.substr(0, blank);
    for (const Tag& tag : kTags) {
        if (name != tag.text) continue;
        Record record{tag.action, tag.item, {}, {}};
        if (!tag.copySuffix) {
            if (blank != std::string_view::npos) return std::nullopt;
            return record;
        }
        const std::string_view values =
            blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
        const std::size_t second = values.find(' ');
        if (second == std::string_view::npos) return std::nullopt;
        record.leaf = values.substr(0, second);
        record.identity = values.substr(second + 1);
        if (!isOwnCopy(tag.item, tag.copySuffix, record.leaf) || record.identity.empty() ||
            record.identity.find(' ') != std::string::npos)
            return std::nullopt;
        return record;
    }
    return std::nullopt;
}

}  // namespace

std::string copyLeaf(Item item, const char* suffix, int i) {
    return std::string(item == Item::Events ? "Events" : "OrvDb.mdb") + suffix +
           (i == 0 ? "" : std::to_string(i));
}

std::string journalLeaf(int i) {
    std::string leaf = "Update.exe-install";
    if (i != 0) leaf.append("-").append(std::to_string(i));
    return leaf.append(".journal");
}

const Record* InstallJournal::find(Action action, Item item) const {
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
    return std::string(kMark) + runId + std::string(kPack) + packVersion + "\r\n";
}

std::string recordLine(const Record& record) {
    const Tag* tag = tagOf(record);
    if (!tag) return {};
    std::string line(tag->text);
    if (tag->copySuffix) line += " " + record.leaf + " " + record.identity;
    return line + "\r\n";
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
        } else if (const auto record = readRecord(line)) {
            journal.records.push_back(*record);
        } else {
            return std::nullopt;
        }
        journal.length = end + 2;
    }
    // Without a whole first line the file never became a journal.
    if (journal.length == 0) return std::nullopt;
    return journal;
}

}  // namespace update
