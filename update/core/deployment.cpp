#include "core/deployment.hpp"

#include "core/install_journal.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"

namespace update {
namespace {

std::string folderOf(const std::string& path) { return path.substr(0, path.rfind('\\')); }
std::string leafOf(const std::string& path) { return path.substr(path.rfind('\\') + 1); }
std::string besides(const std::string& path, const std::string& leaf) {
    return folderOf(path) + "\\" + leaf;
}

void trace(const std::string& line) { common::trace(L"Update: " + common::asciiToWide(line)); }

// The names this program gives a staged or aside copy: the live item's own
// name, the suffix, and a number from the second on.
constexpr int kCopyNames = 100;
std::string copyLeaf(const std::string& target, const std::string& suffix, int i) {
    return leafOf(target) + suffix + (i == 0 ? "" : std::to_string(i));
}

// A leaf name beside the target that is not taken, so staging never
// overwrites something the user keeps there. Our own names of an earlier
// run are gone by now: the journal named them and its completion removed them.
std::optional<std::string> freeLeaf(FileSystem& fs, const std::string& target,
                                    const std::string& suffix) {
    for (int i = 0; i < kCopyNames; ++i) {
        std::string leaf = copyLeaf(target, suffix, i);
        const std::string path = besides(target, leaf);
        if (!fs.fileExists(path) && !fs.folderExists(path)) return leaf;
    }
    return std::nullopt;
}

bool exists(FileSystem& fs, const std::string& path) {
    return fs.fileExists(path) || fs.folderExists(path);
}

bool removeIfPresent(FileSystem& fs, const std::string& path) {
    if (fs.folderExists(path)) return fs.deleteFolder(path);
    if (fs.fileExists(path)) return fs.deleteFile(path);
    return true;
}

// One live item (Events or the database) of an interrupted run. What is
// there tells how far its swap got, since the aside name is taken only by
// the live item's rename and the live name is then taken only by the
// staged copy's: each step below checks first, so it can run again after
// being cut off itself.
struct Swap {
    std::string target;
    std::string staged;  // empty when never announced
    std::string aside;

    // Back to before the run: the staged copy returns to its own name (a
    // half removed tree never sits under the live name) and the aside
    // copy to the live name; then the staging goes.
    bool undo(FileSystem& fs) const {
        if (!aside.empty() && exists(fs, aside)) {
            trace("putting " + leafOf(aside) + " back as " + leafOf(target));
            if (exists(fs, target)) {
                if (staged.empty() || exists(fs, staged) || !fs.rename(target, staged))
                    return false;
            }
            if (!fs.rename(aside, target)) return false;
        }
        return staged.empty() || removeIfPresent(fs, staged);
    }
};

Swap eventsSwap(const DeploymentPaths& p, const InstallJournal& j) {
    return {p.targetEvents, j.stagedEvents.empty() ? "" : besides(p.targetEvents, j.stagedEvents),
            j.asideEvents.empty() ? "" : besides(p.targetEvents, j.asideEvents)};
}

Swap databaseSwap(const DeploymentPaths& p, const InstallJournal& j) {
    return {p.targetDatabase,
            j.stagedDatabase.empty() ? "" : besides(p.targetDatabase, j.stagedDatabase),
            j.asideDatabase.empty() ? "" : besides(p.targetDatabase, j.asideDatabase)};
}

// The journal lies in the installation folder, where users who may not run
// this program can write, and what it names is renamed and removed with the
// program's rights. So only names this program makes are acted on.
bool namesOwnCopies(const DeploymentPaths& p, const InstallJournal& j) {
    const auto own = [](const std::string& target, const std::string& leaf, const char* suffix) {
        if (leaf.empty()) return true;  // never announced
        for (int i = 0; i < kCopyNames; ++i)
            if (leaf == copyLeaf(target, suffix, i)) return true;
        return false;
    };
    return own(p.targetEvents, j.stagedEvents, ".new") &&
           own(p.targetEvents, j.asideEvents, ".old") &&
           own(p.targetDatabase, j.stagedDatabase, ".new") &&
           own(p.targetDatabase, j.asideDatabase, ".old");
}

bool undoRun(FileSystem& fs, const DeploymentPaths& p, const InstallJournal& j) {
    return databaseSwap(p, j).undo(fs) && eventsSwap(p, j).undo(fs);
}

// After the commit point every rename was done: only the registry and the
// removal of the aside copies may be missing. Both removals are tried even
// if the first fails.
bool removeAsides(FileSystem& fs, const DeploymentPaths& p, const InstallJournal& j) {
    const bool events = j.asideEvents.empty() || removeIfPresent(fs, eventsSwap(p, j).aside);
    const bool database = j.asideDatabase.empty() || removeIfPresent(fs, databaseSwap(p, j).aside);
    return events && database;
}

bool finishRun(FileSystem& fs, RegistryRecord& registry, const DeploymentPaths& p,
               const InstallJournal& j) {
    if (!j.registryWritten && !j.commitVersion->empty() &&
        !registry.setInstalledVersion(*j.commitVersion)) {
        trace("writing the version of the interrupted install failed");
        return false;
    }
    return removeAsides(fs, p, j);
}

std::string journalPath(const std::string& installPath) {
    return installPath + "\\" + kJournalName;
}

}  // namespace

DeploymentPaths makeDeploymentPaths(const std::string& mediaFolder,
                                    const std::string& installPath) {
    return {mediaFolder + "\\Events\\Events", mediaFolder + "\\Database\\OrvDb.mdb",
            installPath + "\\Events", installPath + "\\Database\\OrvDb.mdb",
            mediaFolder + "\\Version.bin"};
}

bool completeInterruptedInstall(FileSystem& fs, RegistryRecord& registry,
                                const std::string& installPath) {
    const std::string path = journalPath(installPath);
    if (!fs.fileExists(path)) return true;
    const auto text = fs.readFile(path);
    if (!text) {
        trace("the journal of an interrupted install cannot be read");
        return false;
    }
    const InstallJournal journal = readJournal(*text);
    const DeploymentPaths p = makeDeploymentPaths({}, installPath);
    if (!namesOwnCopies(p, journal)) {
        trace(
            "the journal names something other than this program's own copies: nothing is "
            "touched, and it stays");
        return false;
    }
    trace((journal.committed() ? "finishing an install interrupted after its commit point: "
                               : "undoing an install interrupted before its commit point: ") +
          journal.stagedEvents + " " + journal.stagedDatabase + " " + journal.asideEvents + " " +
          journal.asideDatabase);
    const bool done =
        journal.committed() ? finishRun(fs, registry, p, journal) : undoRun(fs, p, journal);
    if (!done || !fs.deleteFile(path)) {
        trace("completing the interrupted install failed; its journal stays for the next run");
        return false;
    }
    trace("the interrupted install is complete");
    return true;
}

DeploymentResult deployServicePack(FileSystem& fs, RegistryRecord& registry,
                                   const std::string& mediaFolder, const std::string& installPath,
                                   const VersionReader& readVersion,
                                   const VersionValidator& validate) {
    // First, so the checks below see a whole installation.
    if (!completeInterruptedInstall(fs, registry, installPath)) return DeploymentResult::Failed;

    const DeploymentPaths p = makeDeploymentPaths(mediaFolder, installPath);

    std::string packVersion;
    if (fs.fileExists(p.versionFile)) {
        const auto read = readVersion(p.versionFile);
        if (!read) return DeploymentResult::Failed;
        packVersion = *read;
    }
    if (!packVersion.empty() && !validate(packVersion)) return DeploymentResult::Failed;

    // Every precondition is checked before the first change, so a missing
    // piece or a file in use fails with nothing touched.
    const auto unmet = [](bool met, const char* what, const std::string& path) {
        if (!met) trace(std::string("nothing changed: ") + what + path);
        return !met;
    };
    if (unmet(fs.folderExists(p.sourceEvents), "no folder ", p.sourceEvents) ||
        unmet(fs.folderExists(p.targetEvents), "no folder ", p.targetEvents) ||
        unmet(fs.fileExists(p.sourceDatabase), "no file ", p.sourceDatabase) ||
        unmet(fs.fileExists(p.targetDatabase), "no file ", p.targetDatabase) ||
        unmet(fs.canOpenExclusively(p.targetDatabase), "in use: ", p.targetDatabase) ||
        unmet(fs.canRemoveAll(p.targetEvents), "something in use in ", p.targetEvents)) {
        return DeploymentResult::Failed;
    }

    const auto stagedEvents = freeLeaf(fs, p.targetEvents, ".new");
    const auto asideEvents = freeLeaf(fs, p.targetEvents, ".old");
    const auto stagedDatabase = freeLeaf(fs, p.targetDatabase, ".new");
    const auto asideDatabase = freeLeaf(fs, p.targetDatabase, ".old");
    if (!stagedEvents || !asideEvents || !stagedDatabase || !asideDatabase) {
        trace("nothing changed: no free name for the staged and aside copies");
        return DeploymentResult::Failed;
    }

    // What may have been done so far. A name is noted before its line is
    // written, as a failed append may still have left the line on disk.
    const std::string journal = journalPath(installPath);
    InstallJournal done;
    const auto announce = [&](JournalStep step, const std::string& value) {
        return fs.appendDurably(journal, journalLine(step, value));
    };
    const auto fail = [&] {
        if (undoRun(fs, p, done) && (!fs.fileExists(journal) || fs.deleteFile(journal))) {
            return DeploymentResult::Failed;
        }
        trace("undoing the failed install stopped; its journal completes it on the next run");
        return DeploymentResult::Failed;
    };

    done.stagedEvents = *stagedEvents;
    const auto events = eventsSwap(p, done);
    if (!announce(JournalStep::StageEvents, *stagedEvents) || !fs.createFolder(events.staged) ||
        !fs.copyFolder(p.sourceEvents, events.staged) || !fs.flush(events.staged)) {
        return fail();
    }
    done.stagedDatabase = *stagedDatabase;
    const auto database = databaseSwap(p, done);
    if (!announce(JournalStep::StageDatabase, *stagedDatabase) ||
        !fs.copyFile(p.sourceDatabase, database.staged, false) || !fs.flush(database.staged)) {
        return fail();
    }

    // Swaps: renames are the only changes to the live installation.
    done.asideEvents = *asideEvents;
    if (!announce(JournalStep::SetEventsAside, *asideEvents) ||
        !fs.rename(p.targetEvents, eventsSwap(p, done).aside) ||
        !fs.rename(events.staged, p.targetEvents)) {
        return fail();
    }
    done.asideDatabase = *asideDatabase;
    if (!announce(JournalStep::SetDatabaseAside, *asideDatabase) ||
        !fs.rename(p.targetDatabase, databaseSwap(p, done).aside) ||
        !fs.rename(database.staged, p.targetDatabase)) {
        return fail();
    }

    // The commit point: the registry write. The registry is written last so
    // it never names files not in place; its line comes first, so a run cut
    // off around the write is finished, the write included, by the next one.
    // Nothing is appended after a failed append, whose torn line would run
    // into the next: unless the journal plainly lacks the commit line, all
    // stays as it is (every rename done) for the next run to complete
    // whichever way the journal on disk says.
    if (!announce(JournalStep::Commit, packVersion)) {
        const auto written = fs.readFile(journal);
        if (written && !readJournal(*written).commitVersion) return fail();
        trace("the commit line may be on disk; the next run completes the install");
        return DeploymentResult::Failed;
    }
    if (!packVersion.empty() && !registry.setInstalledVersion(packVersion)) {
        trace("writing the version failed; the install is undone");
        if (!announce(JournalStep::Abandon, {})) return DeploymentResult::Failed;
        return fail();
    }

    // Installed. A copy that cannot be removed now (a file opened since the
    // check) stays named by the journal, and the next run removes it.
    // Without the cleanup line the next run merely writes the version again.
    done.commitVersion = packVersion;
    static_cast<void>(announce(JournalStep::Cleanup, {}));
    if (!removeAsides(fs, p, done) || !fs.deleteFile(journal)) {
        trace("removing the replaced copies failed; the next run removes them");
    }
    return DeploymentResult::Success;
}

}  // namespace update
