#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace update {

// The journal of one install run: a hidden file in the installation folder.
// Its first line marks it as this program's and names the run and the pack
// it installs; every further line records one thing the run did or is about
// to do, and is on disk before the run goes on. A line without its
// terminator was cut short and records nothing. For example:
//
//   Update.exe install journal/2 run=6c1f0e3a9b2d44718e5f0a2c3d4b5e6f pack=1.9.2
//   claim-events Events.new 5a3c9e11-0001000000003f21
//   claim-database OrvDb.mdb.new 5a3c9e11-0001000000003f9a
//   fill-events
//   fill-database
//   aside-events Events.old 5a3c9e11-0001000000000412
//   live-events
//   aside-database OrvDb.mdb.old 5a3c9e11-000100000000041c
//   live-database
//   commit
//   installed
//
// An identity is the volume serial number and file index of the item the
// line names: recovery acts on an item only while it is still that one.

// The live items a run replaces, and the names it gives its copies of them:
// the live item's own name, a suffix, and a number from the second on.
enum class Item { Events, Database };
inline constexpr int kCopyNames = 100;
std::string copyLeaf(Item item, const char* suffix, int i);

// A run claims the first free one of these names for its journal.
inline constexpr int kJournalNames = 10;
std::string journalLeaf(int i);

// Longer files are not journals of this program, which writes a dozen lines.
inline constexpr std::size_t kJournalLimit = 4096;

enum class Action {
    Claim,      // leaf and identity of the empty copy claimed to stage the item in
    Fill,       // the media's item is copied into the staged copy; both are on disk
                // before the first live item is set aside
    SetAside,   // the live item, with its identity, is renamed to the leaf
    PutLive,    // the staged copy is renamed to the live name
    Commit,     // both staged copies are live: the run is completed, never undone
    Installed,  // the version is recorded; only the aside copies are left to remove
    Undone,     // the live items are back; only the staged copies are left to remove
};

struct Record {
    Action action = Action::Commit;
    Item item = Item::Events;  // of Claim, Fill, SetAside and PutLive
    std::string leaf;          // of Claim and SetAside
    std::string identity;      // of what the leaf names

    bool operator==(const Record&) const = default;
};

struct InstallJournal {
    std::string runId;
    std::string packVersion;  // may be empty: the pack has no version file
    std::vector<Record> records;
    std::size_t length = 0;  // of the complete lines: where the next one goes

    // The last record of the action for the item, or null.
    const Record* find(Action action, Item item = Item::Events) const;
    bool has(Action action) const;
};

std::string firstLine(const std::string& runId, const std::string& packVersion);
std::string recordLine(const Record& record);

// The journal the text holds; nullopt when the text is not beyond doubt a
// journal of this program: no mark, an unknown line, a name this program
// never gives its copies, or too long.
std::optional<InstallJournal> readJournal(const std::string& text);

}  // namespace update
