#pragma once

#include <optional>
#include <string>

namespace update {

// The journal of one install run: a hidden file in the installation folder
// holding one line per step, each on disk before the step it announces
// starts. A line cut short by a power cut announces nothing; the step after
// it never began.
inline constexpr char kJournalName[] = "Update.journal";

enum class JournalStep {
    StageEvents,       // leaf name the media's Events is copied to, beside Events
    StageDatabase,     // leaf name the media's database is copied to, beside it
    SetEventsAside,    // leaf name Events is renamed to before the staged copy goes in
    SetDatabaseAside,  // the same for the database
    Commit,            // the version the registry gets (may be empty); from here on the run
                       // is finished, never undone
    Cleanup,           // the registry is written; the aside copies are being removed
    Abandon,           // the registry could not be written: the run is undone after all
};

std::string journalLine(JournalStep step, const std::string& value = {});

// What a journal announced. Leaf names are empty until announced.
struct InstallJournal {
    std::string stagedEvents;
    std::string stagedDatabase;
    std::string asideEvents;
    std::string asideDatabase;
    std::optional<std::string> commitVersion;
    bool registryWritten = false;
    bool abandoned = false;

    bool committed() const { return commitVersion && !abandoned; }
};

// Reads the complete lines of a journal; anything else is ignored.
InstallJournal readJournal(const std::string& text);

}  // namespace update
