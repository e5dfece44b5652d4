#include "core/deployment.hpp"

#include "core/install_journal.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"

#include <span>
#include <tuple>

namespace update {
namespace {

using common::Result;

std::string folderOf(const std::string& path) { return path.substr(0, path.rfind('\\')); }
std::string_view leafOf(const std::string& path) {
    return std::string_view(path).substr(path.rfind('\\') + 1);
}

// One line of the trace: what happened, and the name it happened to.
void trace(std::string_view what, std::string_view name = {}) {
    std::string line = "Update: ";
    common::trace(common::asciiToWide(line.append(what).append(name)));
}

// What the install step refuses to go on with, and the name concerned.
common::Failure stop(std::string_view why, std::string_view name = {}) {
    std::string text(why);
    return common::stopFailure(L"Update", common::asciiToWide(text.append(name)));
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
Result<> record(Run& run, Record entry) {
    const std::string line = recordLine(entry);
    run.journal.records.push_back(std::move(entry));
    auto written = run.fs.writeDurably(run.journalPath, run.journal.length, line);
    if (written) run.journal.length += line.size();
    return written;
}

Result<> removeItem(FileSystem& fs, const std::string& path) {
    return fs.folderExists(path) ? fs.deleteFolder(path) : fs.deleteFile(path);
}

// Whether the staged copy is still the one this run claimed, not something
// put in its place since.
Result<> stillStaged(Run& run, Item item) {
    const Record& staged = *run.staged(item);
    const auto found = run.fs.identify(run.copy(item, staged.leaf));
    if (!found) return found.failure();
    if (*found != staged.identity) return stop("not the copy this run made: ", staged.leaf);
    return {};
}

// The changes, each with its do and its undo. An undo looks at the disk
// first, so it does nothing where its change was not made and can run
// again after being cut off itself.

Result<> fill(Run& run, const Record& change) {
    const std::string path = run.copy(change.item, run.staged(change.item)->leaf);
    if (auto staged = stillStaged(run, change.item); !staged) return staged;
    return change.item == Item::Events ? run.fs.copyFolder(run.paths.sourceEvents, path)
                                       : run.fs.copyFile(run.paths.sourceDatabase, path, true);
}

// Both copies on disk before the first live item leaves its name: a power
// cut after that point finishes the run with them.
Result<> stagedOnDisk(Run& run) {
    return run.fs.flush({run.copy(Item::Events, run.staged(Item::Events)->leaf),
                         run.copy(Item::Database, run.staged(Item::Database)->leaf)});
}

Result<> setAside(Run& run, const Record& aside) {
    return run.fs.rename(run.live(aside.item), run.copy(aside.item, aside.leaf));
}

// The live item goes back to its name, unless it never left it.
Result<> putBack(Run& run, const Record& aside) {
    const std::string& live = run.live(aside.item);
    const std::string path = run.copy(aside.item, aside.leaf);
    const auto atLive = run.fs.identify(live);
    if (!atLive) return atLive.failure();
    const auto atAside = run.fs.identify(path);
    if (!atAside) return atAside.failure();
    if (*atLive == aside.identity) return {};
    if (*atAside != aside.identity) {
        trace("not what was set aside, so not moved: ", aside.leaf);
        return {};
    }
    trace("putting back: ", aside.leaf);
    return run.fs.rename(path, live);
}

Result<> putLive(Run& run, const Record& change) {
    if (auto staged = stillStaged(run, change.item); !staged) return staged;
    return run.fs.rename(run.copy(change.item, run.staged(change.item)->leaf),
                         run.live(change.item));
}

// The staged copy goes back to its own name, so a tree half removed never
// sits under the live name.
Result<> takeBack(Run& run, const Record& change) {
    const Record* staged = run.staged(change.item);
    const auto atLive = run.fs.identify(run.live(change.item));
    if (!atLive) return atLive.failure();
    if (!staged || *atLive != staged->identity) return {};
    return run.fs.rename(run.live(change.item), run.copy(change.item, staged->leaf));
}

struct Change {
    Action action;
    Item item;
    Result<> (*apply)(Run&, const Record&);
    Result<> (*undo)(Run&, const Record&);  // null: removing the claimed copy undoes it
};

// The staged copies are filled first; renames are the only changes to the
// live installation.
constexpr Change kFills[] = {
    {Action::Fill, Item::Events, &fill, nullptr},
    {Action::Fill, Item::Database, &fill, nullptr},
};
constexpr Change kSwaps[] = {
    {Action::SetAside, Item::Events, &setAside, &putBack},
    {Action::PutLive, Item::Events, &putLive, &takeBack},
    {Action::SetAside, Item::Database, &setAside, &putBack},
    {Action::PutLive, Item::Database, &putLive, &takeBack},
};

// The first name with nothing at it now.
Result<std::string> freeLeaf(Run& run, Item item, const char* suffix) {
    for (int i = 0; i < kCopyNames; ++i) {
        std::string leaf = copyLeaf(item, suffix, i);
        const auto found = run.fs.identify(run.copy(item, leaf));
        if (!found) return found.failure();
        if (found->empty()) return leaf;
    }
    return stop("no free name for a copy of ", leafOf(run.live(item)));
}

// The record announcing the change, with what undoing it needs as the disk
// shows it now: the aside name, and the identity of the item renamed to it,
// which may have been replaced while the staged copies were made.
Result<Record> announcement(Run& run, const Change& change) {
    Record announced{change.action, change.item, {}, {}};
    if (change.action != Action::SetAside) return announced;
    auto leaf = freeLeaf(run, change.item, ".old");
    if (!leaf) return leaf.failure();
    auto identity = run.fs.identify(run.live(change.item));
    if (!identity) return identity.failure();
    if (identity->empty()) return stop("gone before it was set aside: ", run.live(change.item));
    announced.leaf = std::move(*leaf);
    announced.identity = std::move(*identity);
    return announced;
}

Result<> applyChanges(Run& run, std::span<const Change> changes) {
    for (const Change& change : changes) {
        const auto announced = announcement(run, change);
        if (!announced) return announced.failure();
        if (auto recorded = record(run, *announced); !recorded) return recorded;
        if (auto applied = change.apply(run, *announced); !applied) return applied;
    }
    return {};
}

// Newest record first, every undo tried even after one failed: succeeds
// when the live items are as before the run.
Result<> rollBack(Run& run) {
    if (run.journal.has(Action::Undone)) return {};
    common::FirstFailure whole;
    for (auto it = run.journal.records.rbegin(); it != run.journal.records.rend(); ++it) {
        for (const Change& change : kSwaps) {
            if (change.action == it->action && change.item == it->item)
                whole.add(change.undo(run, *it));
        }
    }
    return std::move(whole).result();
}

// Both staged copies are live: the version is all that may be missing. It
// is recorded only once on disk (the registry is flushed), so a power cut
// cannot leave the new files under the old version.
Result<> rollForward(Run& run) {
    if (run.journal.has(Action::Installed)) return {};
    if (!run.journal.has(Action::Commit)) {
        if (auto committed = record(run, {Action::Commit, Item::Events, {}, {}}); !committed)
            return committed;
    }
    const std::string& version = run.journal.packVersion;
    if (version.empty()) return {};
    return run.registry.setInstalledVersion(version);
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
            continue;
        }
        const Result<> removed = found ? removeItem(run.fs, path) : Result<>(found.failure());
        if (!removed) {
            common::trace(removed.failure());
            trace("left for a later run to remove: ", named.leaf);
            allGone = false;
        }
    }
    return allGone;
}

// Records how the run ended, then removes the copies it no longer needs
// and, once none is left, the journal. Succeeds when the journal says how
// the run ended or is gone: later runs then only retry removing what is
// left, and that never stops them.
Result<> settle(Run& run, Action end, Action copies) {
    if (!run.journal.has(end)) {
        if (auto recorded = record(run, {end, Item::Events, {}, {}}); !recorded) return recorded;
    }
    if (!removeCopies(run, copies)) return {};
    if (auto deleted = run.fs.deleteFile(run.journalPath); !deleted)
        common::trace(deleted.failure());
    return {};
}

// A run is finished once both its staged copies are live, also when its
// commit line did not reach the disk; otherwise it is undone.
Result<bool> isForward(Run& run) {
    const InstallJournal& journal = run.journal;
    if (journal.has(Action::Installed) || journal.has(Action::Commit)) return true;
    if (journal.has(Action::Undone)) return false;
    for (const Item item : {Item::Events, Item::Database}) {
        const auto atLive = run.fs.identify(run.live(item));
        if (!atLive) return atLive.failure();
        if (!run.staged(item) || *atLive != run.staged(item)->identity) return false;
    }
    return true;
}

// Completes the run the journal at the path records. A file that is not
// beyond doubt a journal of this program is left as it is. Fails when the
// installation may not be whole.
Result<> completeRun(FileSystem& fs, RegistryRecord& registry, const std::string& installPath,
                     const std::string& journalPath) {
    auto text = fs.readFile(journalPath);
    if (!text) return text.failure();
    auto journal = readJournal(*text);
    if (!journal) {
        trace("not our journal, so left as it is: ", leafOf(journalPath));
        return {};
    }
    Run run{fs, registry, makeDeploymentPaths({}, installPath), journalPath, std::move(*journal)};
    const auto forward = isForward(run);
    if (!forward) return forward.failure();
    trace(*forward ? "finishing interrupted run " : "undoing interrupted run ", run.journal.runId);
    Result<> completed = *forward ? rollForward(run) : rollBack(run);
    if (completed)
        completed = *forward ? settle(run, Action::Installed, Action::SetAside)
                             : settle(run, Action::Undone, Action::Claim);
    return completed;
}

Result<> completeInterruptedRuns(FileSystem& fs, RegistryRecord& registry,
                                 const std::string& installPath) {
    common::FirstFailure whole;
    for (int i = 0; i < kJournalNames; ++i) {
        const std::string path = journalPath(installPath, i);
        if (fs.fileExists(path) && !whole.add(completeRun(fs, registry, installPath, path)))
            trace("interrupted run not completed; its journal stays: ", leafOf(path));
    }
    return std::move(whole).result();
}

Result<> preconditionsMet(FileSystem& fs, const DeploymentPaths& p) {
    for (const auto& [met, what, path] :
         {std::tuple{fs.folderExists(p.sourceEvents), "nothing changed: no folder ",
                     &p.sourceEvents},
          {fs.folderExists(p.targetEvents), "nothing changed: no folder ", &p.targetEvents},
          {fs.fileExists(p.sourceDatabase), "nothing changed: no file ", &p.sourceDatabase},
          {fs.fileExists(p.targetDatabase), "nothing changed: no file ", &p.targetDatabase}}) {
        if (!met) return stop(what, *path);
    }
    if (auto free = fs.canOpenExclusively(p.targetDatabase); !free) return free;
    return fs.canRemoveAll(p.targetEvents);
}

// The first free journal name, claimed by creating the journal there.
Result<std::string> claimJournal(FileSystem& fs, const std::string& installPath,
                                 const std::string& firstLine) {
    for (int i = 0; i < kJournalNames; ++i) {
        const std::string path = journalPath(installPath, i);
        const auto taken = [&] { return fs.fileExists(path) || fs.folderExists(path); };
        if (taken()) continue;
        auto written = fs.writeDurably(path, 0, firstLine);
        if (written) return path;
        if (!taken()) return written.failure();
    }
    return stop("nothing changed: no free name for the journal");
}

// The first free name to stage the item in, claimed by making the empty
// copy there and recorded with its identity. A name found taken is someone
// else's and is passed over.
Result<> claimCopy(Run& run, Item item) {
    for (int i = 0; i < kCopyNames; ++i) {
        const std::string leaf = copyLeaf(item, ".new", i);
        const std::string path = run.copy(item, leaf);
        const auto isFree = [&] {
            const auto found = run.fs.identify(path);
            return found && found->empty();
        };
        if (!isFree()) continue;
        const auto keep = [&](const std::string& identity) {
            return record(run, {Action::Claim, item, leaf, identity});
        };
        auto claimed = run.fs.claim(path, item == Item::Events, keep);
        if (claimed || isFree()) return claimed;
    }
    return stop("no free name for a copy of ", leafOf(run.live(item)));
}

// Undoes what the run did, and gives its failure back.
Result<> abandon(Run& run, Result<> failed) {
    Result<> undone = rollBack(run);
    if (undone) undone = settle(run, Action::Undone, Action::Claim);
    if (!undone) {
        common::trace(undone.failure());
        trace("undo not complete; the next run completes it");
    }
    return failed;
}

// The checks, then the names the run claims: its journal and its staged
// copies. Nothing is changed when a check fails; what was claimed is
// undone when a claim fails.
Result<> planRun(Run& run, const std::string& installPath) {
    if (auto met = preconditionsMet(run.fs, run.paths); !met) return met;
    const std::string line = firstLine(run.journal.runId, run.journal.packVersion);
    auto journalPath = claimJournal(run.fs, installPath, line);
    if (!journalPath) return journalPath.failure();
    run.journalPath = std::move(*journalPath);
    run.journal.length = line.size();
    Result<> claimed = claimCopy(run, Item::Events);
    if (claimed) claimed = claimCopy(run, Item::Database);
    return claimed ? std::move(claimed) : abandon(run, std::move(claimed));
}

// The version of the pack, empty when it has none.
Result<std::string> packVersionOf(FileSystem& fs, const DeploymentPaths& p,
                                  const VersionReader& readVersion) {
    if (!fs.fileExists(p.versionFile)) return std::string();
    return readVersion(p.versionFile);
}

}  // namespace

DeploymentPaths makeDeploymentPaths(const std::string& mediaFolder,
                                    const std::string& installPath) {
    return {mediaFolder + "\\Events\\Events", mediaFolder + "\\Database\\OrvDb.mdb",
            installPath + "\\Events", installPath + "\\Database\\OrvDb.mdb",
            mediaFolder + "\\Version.bin"};
}

DeployResult deployServicePack(FileSystem& fs, RegistryRecord& registry,
                               const std::string& mediaFolder, const std::string& installPath,
                               const std::string& runId, const VersionReader& readVersion,
                               const VersionValidator& validate) {
    const auto lock = fs.lockInstallation(installPath);
    if (!lock) {
        trace("nothing changed: another setup holds the installation (or it is not lockable)");
        return {lock.failure(), StopKind::InstallationHeld};
    }
    // First, so the checks below see a whole installation.
    if (auto completed = completeInterruptedRuns(fs, registry, installPath); !completed)
        return completed;

    const DeploymentPaths p = makeDeploymentPaths(mediaFolder, installPath);
    auto packVersion = packVersionOf(fs, p, readVersion);
    if (!packVersion) return packVersion.failure();
    if (!packVersion->empty() && !validate(*packVersion))
        return {stop("the pack's version may not be installed: ", *packVersion),
                StopKind::PackRefused};

    Run run{fs, registry, p, {}, {runId, std::move(*packVersion), {}, 0}};
    if (auto planned = planRun(run, installPath); !planned) return planned;
    Result<> applied = applyChanges(run, kFills);
    if (applied) applied = stagedOnDisk(run);
    if (applied) applied = applyChanges(run, kSwaps);
    if (!applied) return abandon(run, std::move(applied));
    // Both staged copies are live: from here on the run is finished, never
    // undone, and what fails now the next run finishes.
    if (auto finished = rollForward(run); !finished) {
        trace("version not recorded; the next run records it");
        return finished;
    }
    if (auto settled = settle(run, Action::Installed, Action::SetAside); !settled)
        common::trace(settled.failure());
    return {};
}

}  // namespace update
