#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace update {

// The journal of one install run. It is kept apart from the installation
// folder, where only administrators write (see JournalStore), so nothing a
// user puts in that folder is ever read as one. Its first line names the
// run and the pack it installs; every further line records one thing the
// run did or is about to do, and is on disk before the run goes on. A line
// without its terminator was cut short and records nothing. For example:
//
//   Update.exe install journal/3 run=6c1f0e3a9b2d44718e5f0a2c3d4b5e6f pack=1.9.2
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
// An identity names the item the line names for as long as it exists,
// renamed or not: recovery acts on an item only while it is still that one.
//
// How a run ends, and what the run that completes an interrupted one does:
//
//   the journal shows                  ending      what it does, then removes
//   "installed"; or "commit", or both  finished    records the version (and the
//   staged copies live, without                    items' permissions), then the
//   "undoing" or "undone"                          aside copies (.old)
//   anything else                      undone      puts the live items back,
//                                                  then the staged copies (.new)
//
// The ending's own line ("installed" or "undone") is on disk before any
// copy is removed, so a later run never changes its mind; the journal goes
// once its copies are gone, and a copy that cannot be removed yet only
// keeps its journal for a later run to retry: it never stops an install.

// The live items a run replaces, and the names it gives its copies of them:
// the live item's own name, a suffix, and a number from the second on.
enum class Item { Events, Database };
inline constexpr int kCopyNames = 100;
std::string copyLeaf(Item item, const char* suffix, int i);

// Longer texts are not journals this program wrote, which writes a dozen
// lines with a version the registry record can hold.
inline constexpr std::size_t kJournalLimit = 4096;

enum class Action {
    Claim,      // leaf and identity of the empty copy claimed to stage the item in
    Fill,       // the media's item is copied into the staged copy; both are on disk
                // before the first live item is set aside
    SetAside,   // the live item, with its identity, is renamed to the leaf
    PutLive,    // the staged copy is renamed to the live name
    Commit,     // both staged copies are live: a later run finishes the run
    Undoing,    // the run itself could not record the version after its commit,
                // and undoes itself: a later run undoes it too
    Installed,  // the version is recorded: finished, never undone
    Undone,     // the live items are back; only the staged copies are left to remove
};

struct Ending {
    Action line;    // recorded once the run has ended so
    Action copies;  // the records naming the copies it then removes
};
inline constexpr Ending kFinished{Action::Installed, Action::SetAside};
inline constexpr Ending kUndone{Action::Undone, Action::Claim};

struct Record {
    Action action = Action::Installed;
    std::optional<Item> item = {};  // of Claim, Fill, SetAside and PutLive
    std::string leaf = {};          // of Claim and SetAside
    std::string identity = {};      // of what the leaf names

    bool operator==(const Record&) const = default;
};

struct InstallJournal {
    std::string runId = {};
    std::string packVersion = {};  // may be empty: the pack has no version file
    std::vector<Record> records = {};
    std::string text = {};  // the complete lines, as stored

    // The last record of the action for the item, or null.
    const Record* find(Action action, std::optional<Item> item = {}) const;
    bool has(Action action) const;
};

std::string firstLine(const std::string& runId, const std::string& packVersion);
std::string recordLine(const Record& record);

// The journal the text holds; nullopt when the text is not one this
// program writes: no mark, an unknown line, a name it never gives its
// copies, or too long.
std::optional<InstallJournal> readJournal(const std::string& text);

}  // namespace update
