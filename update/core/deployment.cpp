#include "core/deployment.hpp"

#include "core/install_journal.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"

namespace update {
namespace {

std::string folderOf(const std::string& path) { return path.substr(0, path.rfind('\\')); }
std::string_view leafOf(const std::string& path) {
    return std::string_view(path).substr(path.rfind('\\') + 1);
}

// One line of the trace: what happened, and the name it happened to.
void trace(std::string_view what, std::string_view name = {}, std::string_view more = {}) {
    std::string line = "Update: ";
    common::trace(common::asciiToWide(line.append(what).append(name).append(more)));
}

// One install run, under way or being completed from its journal: where it
// works and what its journal records. The journal in memory holds every
// record the run made, also one whose line a failed write may have lost.
struct Run {
    FileSystem& fs;
    RegistryRecord& registry;
    DeploymentPaths paths;
    std::string journalPath;
    InstallJournal journal;

    const std::string& live(Item item) const {
        return item == Item::Events ? paths.targetEvents : paths.targetDatabase;
    }
    // The copies of a live item lie beside it.
    std::string copy(Item item, const std::string& leaf) const {
        return folderOf(live(item)).append("\\").append(leaf);
    }
    const Record* staged(Item item) const { return journal.find(Action::Claim, item); }
};

std::string journalPath(const std::string& installPath, int i) {
    std::string path = installPath;
    return path.append("\\").append(journalLeaf(i));
}

// Notes the record, then writes its line where the complete lines end, over
// whatever a failed write may have left there.
bool record(Run& run, Record entry) {
    const std::string line = recordLine(entry);
    run.journal.records.push_back(std::move(entry));
    if (!run.fs.writeDurably(run.journalPath, run.journal.length, line)) return false;
    run.journal.length += line.size();
    return true;
}

bool removeItem(FileSystem& fs, const std::string& path) {
    return fs.folderExists(path) ? fs.deleteFolder(path) : fs.deleteFile(path);
}

// Whether the staged copy is still the one this run claimed, not something
// put in its place since.
bool stillStaged(Run& run, Item item) {
    const Record& staged = *run.staged(item);
    if (run.fs.identify(run.copy(item, staged.leaf)) == staged.identity) return true;
    trace("not the copy this run made: ", staged.leaf);
    return false;
}

// The changes, each with its do and its undo. An undo looks at the disk
// first, so it does nothing where its change was not made and can run
// again after being cut off itself.

bool fill(Run& run, const Record& change) {
    const std::string path = run.copy(change.item, run.staged(change.item)->leaf);
    if (!stillStaged(run, change.item)) return false;
    const bool copied = change.item == Item::Events
                            ? run.fs.copyFolder(run.paths.sourceEvents, path)
                            : run.fs.copyFile(run.paths.sourceDatabase, path, true);
    return copied && run.fs.flush(path);
}

bool setAside(Run& run, const Record& aside) {
    return run.fs.rename(run.live(aside.item), run.copy(aside.item, aside.leaf));
}

// The live item goes back to its name, unless it never left it.
bool putBack(Run& run, const Record& aside) {
    const std::string& live = run.live(aside.item);
    const std::string path = run.copy(aside.item, aside.leaf);
    const auto atLive = run.fs.identify(live);
    const auto atAside = run.fs.identify(path);
    if (!atLive || !atAside) return false;
    if (*atLive == aside.identity) return true;
    if (*atAside != aside.identity) {
        trace("not what was set aside, so not moved: ", aside.leaf);
        return true;
    }
    trace("putting back: ", aside.leaf);
    return run.fs.rename(path, live);
}

bool putLive(Run& run, const Record& change) {
    return stillStaged(run, change.item) &&
           run.fs.rename(run.copy(change.item, run.staged(change.item)->leaf),
                         run.live(change.item));
}

// The staged copy goes back to its own name, so a tree half removed never
// sits under the live name.
bool takeBack(Run& run, const Record& change) {
    const Record* staged = run.staged(change.item);
    const auto atLive = run.fs.identify(run.live(change.item));
    if (!atLive) return false;
    if (!staged || *atLive != staged->identity) return true;
    return run.fs.rename(run.live(change.item), run.copy(change.item, staged->leaf));
}

struct Change {
    Action action;
    Item item;
    bool (*apply)(Run&, const Record&);
    bool (*undo)(Run&, const Record&);  // null: removing the claimed copy undoes it
};

// Renames are the only changes to the live installation.
constexpr Change kChanges[] = {
    {Action::Fill, Item::Events, &fill, nullptr},
    {Action::Fill, Item::Database, &fill, nullptr},
    {Action::SetAside, Item::Events, &setAside, &putBack},
    {Action::PutLive, Item::Events, &putLive, &takeBack},
    {Action::SetAside, Item::Database, &setAside, &putBack},
    {Action::PutLive, Item::Database, &putLive, &takeBack},
};

// The first name with nothing at it now.
std::optional<std::string> freeLeaf(Run& run, Item item, const char* suffix) {
    for (int i = 0; i < kCopyNames; ++i) {
        std::string leaf = copyLeaf(item, suffix, i);
        const auto found = run.fs.identify(run.copy(item, leaf));
        if (!found) return std::nullopt;
        if (found->empty()) return leaf;
    }
    trace("no free name for a copy of ", leafOf(run.live(item)));
    return std::nullopt;
}

// The record announcing the change, with what undoing it needs as the disk
// shows it now: the aside name, and the identity of the item renamed to it,
// which may have been replaced while the staged copies were made.
std::optional<Record> announcement(Run& run, const Change& change) {
    Record announced{change.action, change.item, {}, {}};
    if (change.action != Action::SetAside) return announced;
    const auto leaf = freeLeaf(run, change.item, ".old");
    const auto identity = run.fs.identify(run.live(change.item));
    if (!leaf || !identity || identity->empty()) return std::nullopt;
    announced.leaf = *leaf;
    announced.identity = *identity;
    return announced;
}

bool applyChanges(Run& run) {
    for (const Change& change : kChanges) {
        const auto announced = announcement(run, change);
        if (!announced || !record(run, *announced) || !change.apply(run, *announced)) return false;
    }
    return true;
}

// Newest record first, every undo tried even after one failed: true when
// the live items are as before the run.
bool rollBack(Run& run) {
    if (run.journal.has(Action::Undone)) return true;
    bool whole = true;
    for (auto it = run.journal.records.rbegin(); it != run.journal.records.rend(); ++it) {
        for (const Change& change : kChanges) {
            if (change.action == it->action && change.item == it->item && change.undo)
                whole = change.undo(run, *it) && whole;
        }
    }
    return whole;
}

// Both staged copies are live: the version is all that may be missing. It
// is recorded only once on disk (the registry is flushed), so a power cut
// cannot leave the new files under the old version.
bool rollForward(Run& run) {
    if (run.journal.has(Action::Installed)) return true;
    if (!run.journal.has(Action::Commit) && !record(run, {Action::Commit, Item::Events, {}, {}}))
        return false;
    const std::string& version = run.journal.packVersion;
    if (!version.empty() && !run.registry.setInstalledVersion(version)) {
        trace("version not recorded; the next run records it");
        return false;
    }
    return true;
}

// Removes the copies named by the action's records that are still the ones
// this run made; true when none of them is left.
bool removeCopies(Run& run, Action copies) {
    bool allGone = true;
    for (const Record& named : run.journal.records) {
        if (named.action != copies) continue;
        const std::string path = run.copy(named.item, named.leaf);
        const auto found = run.fs.identify(path);
        if (found && found->empty()) continue;
        if (found && *found != named.identity) {
            trace("not ours, so left as it is: ", named.leaf);
        } else if (!found || !removeItem(run.fs, path)) {
            trace("left for a later run to remove: ", named.leaf);
            allGone = false;
        }
    }
    return allGone;
}

// Records how the run ended, then removes the copies it no longer needs
// and, once none is left, the journal. True when the journal says how the
// run ended or is gone: later runs then only retry removing what is left,
// and that never stops them.
bool settle(Run& run, Action end, Action copies) {
    if (!run.journal.has(end) && !record(run, {end, Item::Events, {}, {}})) {
        trace("end of run not recorded; the next run completes it");
        return false;
    }
    if (!removeCopies(run, copies) || !run.fs.deleteFile(run.journalPath))
        trace("journal kept: later runs remove what is left");
    return true;
}

// A run is finished once both its staged copies are live, also when its
// commit line did not reach the disk; otherwise it is undone.
std::optional<bool> isForward(Run& run) {
    const InstallJournal& journal = run.journal;
    if (journal.has(Action::Installed) || journal.has(Action::Commit)) return true;
    if (journal.has(Action::Undone)) return false;
    for (const Item item : {Item::Events, Item::Database}) {
        const auto atLive = run.fs.identify(run.live(item));
        if (!atLive) return std::nullopt;
        if (!run.staged(item) || *atLive != run.staged(item)->identity) return false;
    }
    return true;
}

// Completes the run the journal at the path records. A file that is not
// beyond doubt a journal of this program is left as it is. False when the
// installation may not be whole.
bool completeRun(FileSystem& fs, RegistryRecord& registry, const std::string& installPath,
                 const std::string& journalPath) {
    const auto text = fs.readFile(journalPath);
    if (!text) {
        trace("unreadable, so maybe a journal: ", leafOf(journalPath));
        return false;
    }
    auto journal = readJournal(*text);
    if (!journal) {
        trace("not our journal, so left as it is: ", leafOf(journalPath));
        return true;
    }
    Run run{fs, registry, makeDeploymentPaths({}, installPath), journalPath, std::move(*journal)};
    const auto forward = isForward(run);
    if (!forward) return false;
    trace(*forward ? "finishing interrupted run " : "undoing interrupted run ", run.journal.runId);
    const bool settled = *forward
                             ? rollForward(run) && settle(run, Action::Installed, Action::SetAside)
                             : rollBack(run) && settle(run, Action::Undone, Action::Claim);
    if (!settled) trace("interrupted run not completed; its journal stays");
    return settled;
}

bool completeInterruptedRuns(FileSystem& fs, RegistryRecord& registry,
                             const std::string& installPath) {
    bool whole = true;
    for (int i = 0; i < kJournalNames; ++i) {
        const std::string path = journalPath(installPath, i);
        if (fs.fileExists(path)) whole = completeRun(fs, registry, installPath, path) && whole;
    }
    return whole;
}

bool preconditionsMet(FileSystem& fs, const DeploymentPaths& p) {
    const auto unmet = [](bool met, const char* what, const std::string& path) {
        if (!met) trace("nothing changed: ", what, path);
        return !met;
    };
    return !(unmet(fs.folderExists(p.sourceEvents), "no folder ", p.sourceEvents) ||
             unmet(fs.folderExists(p.targetEvents), "no folder ", p.targetEvents) ||
             unmet(fs.fileExists(p.sourceDatabase), "no file ", p.sourceDatabase) ||
             unmet(fs.fileExists(p.targetDatabase), "no file ", p.targetDatabase) ||
             unmet(fs.canOpenExclusively(p.targetDatabase), "in use: ", p.targetDatabase) ||
             unmet(fs.canRemoveAll(p.targetEvents), "something in use in ", p.targetEvents));
}

// The first free journal name, claimed by creating the journal there.
std::optional<std::string> claimJournal(FileSystem& fs, const std::string& installPath,
                                        const std::string& firstLine) {
    for (int i = 0; i < kJournalNames; ++i) {
        const std::string path = journalPath(installPath, i);
        const auto taken = [&] { return fs.fileExists(path) || fs.folderExists(path); };
        if (taken()) continue;
        if (fs.writeDurably(path, 0, firstLine)) return path;
        if (!taken()) return std::nullopt;
    }
    trace("nothing changed: no free name for the journal");
    return std::nullopt;
}

// The first free name to stage the item in, claimed by making the empty
// copy there and recorded with its identity. A name found taken is someone
// else's and is passed over.
bool claimCopy(Run& run, Item item) {
    for (int i = 0; i < kCopyNames; ++i) {
        const std::string leaf = copyLeaf(item, ".new", i);
        const std::string path = run.copy(item, leaf);
        const auto takenBy = [&] { return run.fs.identify(path).value_or("?"); };
        if (!takenBy().empty()) continue;
        const auto keep = [&](const std::string& identity) {
            return record(run, {Action::Claim, item, leaf, identity});
        };
        if (run.fs.claim(path, item == Item::Events, keep)) return true;
        if (takenBy().empty()) return false;
    }
    trace("no free name for a copy of ", leafOf(run.live(item)));
    return false;
}

DeploymentResult abandon(Run& run) {
    if (!rollBack(run) || !settle(run, Action::Undone, Action::Claim))
        trace("undo not complete; the next run completes it");
    return DeploymentResult::Failed;
}

// The checks, then the names the run claims: its journal and its staged
// copies. Nothing is changed when a check fails; what was claimed is
// undone when a claim fails.
bool planRun(Run& run, const std::string& installPath) {
    if (!preconditionsMet(run.fs, run.paths)) return false;
    const std::string line = firstLine(run.journal.runId, run.journal.packVersion);
    const auto journalPath = claimJournal(run.fs, installPath, line);
    if (!journalPath) return false;
    run.journalPath = *journalPath;
    run.journal.length = line.size();
    if (claimCopy(run, Item::Events) && claimCopy(run, Item::Database)) return true;
    abandon(run);
    return false;
}

}  // namespace

DeploymentPaths makeDeploymentPaths(const std::string& mediaFolder,
                                    const std::string& installPath) {
    return {mediaFolder + "\\Events\\Events", mediaFolder + "\\Database\\OrvDb.mdb",
            installPath + "\\Events", installPath + "\\Database\\OrvDb.mdb",
            mediaFolder + "\\Version.bin"};
}

DeploymentResult deployServicePack(FileSystem& fs, RegistryRecord& registry,
                                   const std::string& mediaFolder, const std::string& installPath,
                                   const std::string& runId, const VersionReader& readVersion,
                                   const VersionValidator& validate) {
    const auto lock = fs.lockInstallation(installPath);
    if (!lock) {
        trace("nothing changed: another setup holds the installation (or it is not lockable)");
        return DeploymentResult::Failed;
    }
    // First, so the checks below see a whole installation.
    if (!completeInterruptedRuns(fs, registry, installPath)) return DeploymentResult::Failed;

    const DeploymentPaths p = makeDeploymentPaths(mediaFolder, installPath);
    std::string packVersion;
    if (fs.fileExists(p.versionFile)) {
        const auto read = readVersion(p.versionFile);
        if (!read) return DeploymentResult::Failed;
        packVersion = *read;
    }
    if (!packVersion.empty() && !validate(packVersion)) return DeploymentResult::Failed;

    Run run{fs, registry, p, {}, {runId, packVersion, {}, 0}};
    if (!planRun(run, installPath)) return DeploymentResult::Failed;
    if (!applyChanges(run)) return abandon(run);
    // Both staged copies are live: from here on the run is finished, never
    // undone, and what fails now the next run finishes.
    if (!rollForward(run)) return DeploymentResult::Failed;
    static_cast<void>(settle(run, Action::Installed, Action::SetAside));
    return DeploymentResult::Success;
}

}  // namespace update
