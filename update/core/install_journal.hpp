#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace update {

// The journal of one install run. It is kept apart from the installation
// folder, where only administrators write (see JournalStore), so nothing a
// user puts in that folder is ever read as one. Its first line names the
// run, the pack it installs and the version installed before it (in hex,
// as the record may hold any text); every further line notes one thing the
// run did or is about to do, and is on disk before the run goes on. A line
// without its terminator was cut short and notes nothing. For example:
//
//   Update.exe install journal/4 run=6c1f0e3a9b2d44718e5f0a2c3d4b5e6f pack=1.9.2 was=312e382e32
//   claim-events Events.new.6c1f0e3a9b2d44718e5f0a2c3d4b5e6f 5a3c9e11-0001000000003f21
//   claim-database OrvDb.mdb.new.6c1f0e3a9b2d44718e5f0a2c3d4b5e6f 5a3c9e11-0001000000003f9a
//   fill-events
//   fill-database
//   aside-events Events.old.6c1f0e3a9b2d44718e5f0a2c3d4b5e6f 5a3c9e11-0001000000000412
//   live-events
//   aside-database OrvDb.mdb.old.6c1f0e3a9b2d44718e5f0a2c3d4b5e6f 5a3c9e11-000100000000041c
//   live-database
//   commit
//   installed
//
// An identity names the item the line names for as long as it exists,
// renamed or not: recovery acts on an item only while it is still that one.
// The names of a run's copies carry its id, which nobody knows before the
// run begins, so no name made ahead can stand in their way.

// The live items a run replaces, and the names it gives its copies of
// them: the live item's own name, a suffix and the run's id.
enum class Item { Events, Database };
std::string copyLeaf(Item item, const char* suffix, const std::string& runId);

// Longer texts are not journals this program wrote, which writes a dozen
// lines with versions the registry record can hold.
inline constexpr std::size_t journalLimit = 4096;

// What a line of the journal marks.
enum class Mark {
    Claim,      // leaf and identity of the empty copy claimed to stage the item in
    Fill,       // the media's item is copied into the staged copy; both are on disk
                // before the first live item is set aside
    SetAside,   // the live item, with its identity, is renamed to the leaf
    PutLive,    // the staged copy is renamed to the live name
    Displaced,  // an item someone else put at the live name while it was free is
                // moved to the leaf, so the set-aside item can go back; it stays theirs
    Commit,     // both staged copies are live, and the version may be recorded
    Undoing,    // the run is undone after all, whatever its commit line says
    Installed,  // the version is recorded: finished, never undone
    Undone,     // the live items and the version are back; only copies are left to remove
};

// How a run ends, decided by its journal's marks alone, the same way for
// the run itself and for a later run that completes it.
enum class Ending { Finished, Undone };

// The ending the marks decide: the first row whose mark the journal has.
// A journal with none of them is undone.
struct EndingRule {
    Mark mark;
    Ending ending;
};
inline constexpr EndingRule endingRules[] = {
    {Mark::Installed, Ending::Finished},
    {Mark::Undone, Ending::Undone},
    {Mark::Undoing, Ending::Undone},
    {Mark::Commit, Ending::Finished},
};

// One line after the first.
struct Entry {
    Mark mark = Mark::Installed;
    std::optional<Item> item = {};  // of Claim, Fill, SetAside, PutLive and Displaced
    std::string leaf = {};          // of Claim, SetAside and Displaced
    std::string identity = {};      // of what the leaf names

    bool operator==(const Entry&) const = default;
};

struct InstallJournal {
    std::string runId = {};
    std::string packVersion = {};  // may be empty: the pack has no version file
    std::string versionBefore = {};
    std::vector<Entry> entries = {};
    std::string text = {};  // the complete lines, as stored

    // The last entry of the mark for the item, or null.
    const Entry* find(Mark mark, std::optional<Item> item = {}) const;
    bool has(Mark mark) const;
    // How the run ends, by endingRules.
    Ending ending() const;
};

std::string firstLine(const InstallJournal& journal);
std::string entryLine(const Entry& entry);

// The journal the text holds; nullopt when the text is not one this
// program writes: no mark, an unknown line, a name it never gives its
// copies, or too long.
std::optional<InstallJournal> readJournal(const std::string& text);

}  // namespace update
