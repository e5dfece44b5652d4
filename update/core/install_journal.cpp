#include "core/install_journal.hpp"

#include "common/core/text.hpp"

#include <array>
#include <string_view>

namespace update {
namespace {

constexpr std::string_view firstLineStart = "Update.exe install journal/4 run=";
constexpr std::string_view packField = " pack=";
constexpr std::string_view wasField = " was=";

struct Tag {
    Mark mark;
    std::optional<Item> item;
    std::string_view text;
    const char* copySuffix;  // the line names a copy with this suffix; null: it names nothing
};

constexpr std::array<Tag, 14> tags{{
    {Mark::Claim, Item::Events, "claim-events", ".new"},
    {Mark::Claim, Item::Database, "claim-database", ".new"},
    {Mark::Fill, Item::Events, "fill-events", nullptr},
    {Mark::Fill, Item::Database, "fill-database", nullptr},
    {Mark::SetAside, Item::Events, "aside-events", ".old"},
    {Mark::SetAside, Item::Database, "aside-database", ".old"},
    {Mark::PutLive, Item::Events, "live-events", nullptr},
    {Mark::PutLive, Item::Database, "live-database", nullptr},
    {Mark::Displaced, Item::Events, "displaced-events", ".found"},
    {Mark::Displaced, Item::Database, "displaced-database", ".found"},
    {Mark::Commit, {}, "commit", nullptr},
    {Mark::Undoing, {}, "undoing", nullptr},
    {Mark::Installed, {}, "installed", nullptr},
    {Mark::Undone, {}, "undone", nullptr},
}};

const Tag* tagOf(const Entry& entry) {
    for (const Tag& tag : tags)
        if (tag.mark == entry.mark && tag.item == entry.item) return &tag;
    return nullptr;
}

// Adds the entry of one line after the first; false when the line is
// nothing this program writes.
bool readEntry(std::string_view line, InstallJournal& journal) {
    const std::size_t blank = line.find(' ');
    for (const Tag& tag : tags) {
        if (line.substr(0, blank) != tag.text) continue;
        Entry& entry = journal.entries.emplace_back(Entry{tag.mark, tag.item, {}, {}});
        if (!tag.copySuffix) return blank == std::string_view::npos;
        if (blank == std::string_view::npos) return false;
        const std::string_view values = line.substr(blank + 1);
        const std::size_t second = values.find(' ');
        if (second == std::string_view::npos) return false;
        entry.leaf = values.substr(0, second);
        entry.identity = values.substr(second + 1);
        return entry.leaf == copyLeaf(*tag.item, tag.copySuffix, journal.runId) &&
               !entry.identity.empty() && entry.identity.find(' ') == std::string::npos;
    }
    return false;
}

// "Update.exe install journal/4 run=<id> pack=<version> was=<hex>"; the
// version before is the last field, as hex has no blank.
bool readFirstLine(std::string_view line, InstallJournal& journal) {
    const std::size_t pack = line.find(packField);
    const std::size_t before = line.rfind(wasField);
    if (!line.starts_with(firstLineStart) || pack == std::string_view::npos ||
        pack == firstLineStart.size() || before == std::string_view::npos || before < pack)
        return false;
    journal.runId = line.substr(firstLineStart.size(), pack - firstLineStart.size());
    journal.packVersion = line.substr(pack + packField.size(), before - pack - packField.size());
    const auto version = common::bytesOfHex(line.substr(before + wasField.size()));
    if (!version || journal.runId.find(' ') != std::string::npos) return false;
    journal.versionBefore = *version;
    return true;
}

}  // namespace

std::string copyLeaf(Item item, const char* suffix, const std::string& runId) {
    std::string leaf = item == Item::Events ? "Events" : "OrvDb.mdb";
    return leaf.append(suffix).append(".").append(runId);
}

const Entry* InstallJournal::find(Mark mark, std::optional<Item> item) const {
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        if (it->mark == mark && it->item == item) return &*it;
    return nullptr;
}

bool InstallJournal::has(Mark mark) const {
    for (const Entry& entry : entries)
        if (entry.mark == mark) return true;
    return false;
}

Ending InstallJournal::ending() const {
    for (const EndingRule& rule : endingRules)
        if (has(rule.mark)) return rule.ending;
    return Ending::Undone;
}

std::string firstLine(const InstallJournal& journal) {
    std::string line(firstLineStart);
    line.append(journal.runId).append(packField).append(journal.packVersion).append(wasField);
    return line.append(common::hexOfBytes(journal.versionBefore)).append("\r\n");
}

std::string entryLine(const Entry& entry) {
    const Tag* tag = tagOf(entry);
    if (!tag) return {};
    std::string line(tag->text);
    if (tag->copySuffix) line.append(" ").append(entry.leaf).append(" ").append(entry.identity);
    return line.append("\r\n");
}

std::optional<InstallJournal> readJournal(const std::string& text) {
    if (text.size() >= journalLimit) return std::nullopt;
    InstallJournal journal;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string_view line(text.data() + start, end - start);
        const bool read = start == 0 ? readFirstLine(line, journal) : readEntry(line, journal);
        if (!read) return std::nullopt;
        journal.text = text.substr(0, end + 2);
    }
    // Without a whole first line it never became a journal.
    if (journal.text.empty()) return std::nullopt;
    return journal;
}

}  // namespace update
