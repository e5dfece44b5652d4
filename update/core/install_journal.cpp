#include "core/install_journal.hpp"

#include <array>
#include <string_view>

namespace update {
namespace {

struct StepTag {
    JournalStep step;
    std::string_view tag;
};

constexpr std::array<StepTag, 7> kTags{{
    {JournalStep::StageEvents, "stage-events"},
    {JournalStep::StageDatabase, "stage-database"},
    {JournalStep::SetEventsAside, "aside-events"},
    {JournalStep::SetDatabaseAside, "aside-database"},
    {JournalStep::Commit, "commit"},
    {JournalStep::Cleanup, "cleanup"},
    {JournalStep::Abandon, "abandon"},
}};

void apply(InstallJournal& journal, JournalStep step, const std::string& value) {
    switch (step) {
        case JournalStep::StageEvents:
            journal.stagedEvents = value;
            break;
        case JournalStep::StageDatabase:
            journal.stagedDatabase = value;
            break;
        case JournalStep::SetEventsAside:
            journal.asideEvents = value;
            break;
        case JournalStep::SetDatabaseAside:
            journal.asideDatabase = value;
            break;
        case JournalStep::Commit:
            journal.commitVersion = value;
            break;
        case JournalStep::Cleanup:
            journal.registryWritten = true;
            break;
        case JournalStep::Abandon:
            journal.abandoned = true;
            break;
    }
}

}  // namespace

std::string journalLine(JournalStep step, const std::string& value) {
    for (const auto& [known, tag] : kTags) {
        if (known == step) return std::string(tag) + " " + value + "\r\n";
    }
    return {};
}

InstallJournal readJournal(const std::string& text) {
    InstallJournal journal;
    std::size_t start = 0;
    // Only lines with their terminator count: a torn last line was never complete on disk.
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string_view line(text.data() + start, end - start);
        const std::size_t blank = line.find(' ');
        if (blank == std::string_view::npos) continue;
        for (const auto& [step, tag] : kTags) {
            if (line.substr(0, blank) == tag)
                apply(journal, step, std::string(line.substr(blank + 1)));
        }
    }
    return journal;
}

}  // namespace update
