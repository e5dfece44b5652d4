#include "core/deployment.hpp"

#include "core/install_journal.hpp"
#include "core/pack_record.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"

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

constexpr Item kItems[] = {Item::Events, Item::Database};

// One install run, under way or being completed from its journal: where it
// works and what its journal records. The journal in memory holds every
// record the run made, also one whose line a failed write may have lost.
struct Run {
    FileSystem& fs;
    JournalStore& journals;
    RegistryRecord& registry;
    DeploymentPaths paths;
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

// Notes the record, then stores the journal with its line added.
Result<> record(Run& run, Record entry) {
    std::string text = run.journal.text + recordLine(entry);
    run.journal.records.push_back(std::move(entry));
    auto written = run.journals.write(run.journal.runId, text);
    if (written) run.journal.text = std::move(text);
    return written;
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

// The media's item into its staged copy. Removing the copy undoes it.
Result<> fill(Run& run, Item item) {
    const std::string path = run.copy(item, run.staged(item)->leaf);
    if (auto staged = stillStaged(run, item); !staged) return staged;
    return item == Item::Events ? run.fs.copyFolder(run.paths.sourceEvents, path)
                                : run.fs.copyFile(run.paths.sourceDatabase, path, true);
}

Result<> fillStagedCopies(Run& run) {
    for (const Item item : kItems) {
        if (auto recorded = record(run, {.action = Action::Fill, .item = item}); !recorded)
            return recorded;
        if (auto filled = fill(run, item); !filled) return filled;
    }
    // Both copies on disk before the first live item leaves its name: a
    // power cut after that point finishes the run with them.
    return run.fs.flush({run.copy(Item::Events, run.staged(Item::Events)->leaf),
                         run.copy(Item::Database, run.staged(Item::Database)->leaf)});
}

// The swaps, each with its undo. An undo looks at the disk first, so it
// does nothing where its swap was not made and can run again after being
// cut off itself.

Result<> setAside(Run& run, const Record& aside) {
    return run.fs.rename(run.live(*aside.item), run.copy(*aside.item, aside.leaf));
}

// The live item goes back to its name, unless it never left it.
Result<> putBack(Run& run, const Record& aside) {
    const std::string& live = run.live(*aside.item);
    const std::string path = run.copy(*aside.item, aside.leaf);
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
    if (auto staged = stillStaged(run, *change.item); !staged) return staged;
    return run.fs.rename(run.copy(*change.item, run.staged(*change.item)->leaf),
                         run.live(*change.item));
}

// The staged copy goes back to its own name, so a tree half removed never
// sits under the live name.
Result<> takeBack(Run& run, const Record& change) {
    const Record* staged = run.staged(*change.item);
    const auto atLive = run.fs.identify(run.live(*change.item));
    if (!atLive) return atLive.failure();
    if (!staged || *atLive != staged->identity) return {};
    return run.fs.rename(run.live(*change.item), run.copy(*change.item, staged->leaf));
}

struct Swap {
    Action action;
    Item item;
    Result<> (*apply)(Run&, const Record&);
    Result<> (*undo)(Run&, const Record&);
};

// Renames are the only changes to the live installation.
constexpr Swap kSwaps[] = {
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

// The record announcing the swap, with what undoing it needs as the disk
// shows it now: the aside name, and the identity of the item renamed to it,
// which may have been replaced while the staged copies were made.
Result<Record> announcement(Run& run, const Swap& swap) {
    Record announced{.action = swap.action, .item = swap.item};
    if (swap.action != Action::SetAside) return announced;
    auto leaf = freeLeaf(run, swap.item, ".old");
    if (!leaf) return leaf.failure();
    auto identity = run.fs.identify(run.live(swap.item));
    if (!identity) return identity.failure();
    if (identity->empty()) return stop("gone before it was set aside: ", run.live(swap.item));
    announced.leaf = std::move(*leaf);
    announced.identity = std::move(*identity);
    return announced;
}

Result<> swapLiveItems(Run& run) {
    for (const Swap& swap : kSwaps) {
        const auto announced = announcement(run, swap);
        if (!announced) return announced.failure();
        if (auto recorded = record(run, *announced); !recorded) return recorded;
        if (auto applied = swap.apply(run, *announced); !applied) return applied;
    }
    return {};
}

// Newest record first, every undo tried even after one failed: succeeds
// when the live items are as before the run.
Result<> rollBack(Run& run) {
    common::FirstFailure whole;
    for (auto it = run.journal.records.rbegin(); it != run.journal.records.rend(); ++it) {
        for (const Swap& swap : kSwaps) {
            if (swap.action == it->action && swap.item == it->item) whole.add(swap.undo(run, *it));
        }
    }
    return std::move(whole).result();
}

// Both staged copies are live: each takes the permissions of where it now
// lies (unless it was replaced since, by something made there), and the
// version is recorded, on disk (the registry is flushed), so a power cut
// cannot leave the new files under the old version.
Result<> completeInstall(Run& run) {
    for (const Item item : kItems) {
        const std::string& staged = run.staged(item)->identity;
        const auto atLive = run.fs.identify(run.live(item));
        if (!atLive) return atLive.failure();
        if (*atLive != staged) continue;
        if (auto inherited = run.fs.inheritPermissions(run.live(item), staged); !inherited)
            return inherited;
    }
    const std::string& version = run.journal.packVersion;
    if (version.empty()) return {};
    return run.registry.setInstalledVersion(version);
}

// Removes the copies named by the records that are still the ones this run
// made; true when none of them is left.
bool removeCopies(Run& run, Action copies) {
    bool allGone = true;
    for (const Record& named : run.journal.records) {
        if (named.action != copies) continue;
        const std::string path = run.copy(*named.item, named.leaf);
        const auto found = run.fs.identify(path);
        if (found && found->empty()) continue;
        if (found && *found != named.identity) {
            trace("not ours, so left as it is: ", named.leaf);
            continue;
        }
        const Result<> removed =
            found ? run.fs.remove(path, named.identity) : Result<>(found.failure());
        if (!removed) {
            common::trace(removed.failure());
            trace("left for a later run to remove: ", named.leaf);
            allGone = false;
        }
    }
    return allGone;
}

// Records how the run ended, then removes the copies the ending leaves
// and, once none is left, the journal. Succeeds when the journal says how
// the run ended: later runs then only retry removing what is left, and
// that never stops them.
Result<> end(Run& run, const Ending& ending) {
    if (!run.journal.has(ending.line)) {
        if (auto recorded = record(run, {.action = ending.line}); !recorded) return recorded;
    }
    if (!removeCopies(run, ending.copies)) return {};
    if (auto removed = run.journals.remove(run.journal.runId); !removed)
        common::trace(removed.failure());
    return {};
}

// Ends a run whose staged copies are both live as installed.
Result<> finish(Run& run) {
    if (!run.journal.has(Action::Installed)) {
        if (auto completed = completeInstall(run); !completed) return completed;
    }
    return end(run, kFinished);
}

// Ends a run as if it never began: the live items are put back.
Result<> undo(Run& run) {
    if (!run.journal.has(Action::Undone)) {
        if (auto back = rollBack(run); !back) return back;
    }
    return end(run, kUndone);
}

// A run is finished once both its staged copies are live, also when its
// commit line did not reach the disk, unless it began to undo itself.
Result<bool> isForward(Run& run) {
    const InstallJournal& journal = run.journal;
    if (journal.has(Action::Installed)) return true;
    if (journal.has(Action::Undone) || journal.has(Action::Undoing)) return false;
    if (journal.has(Action::Commit)) return true;
    for (const Item item : kItems) {
        const auto atLive = run.fs.identify(run.live(item));
        if (!atLive) return atLive.failure();
        if (!run.staged(item) || *atLive != run.staged(item)->identity) return false;
    }
    return true;
}

// Completes the run the journal records. Fails when the installation may
// not be whole, and so when the journal cannot be read: every journal in
// the store is this program's.
Result<> completeRun(FileSystem& fs, JournalStore& journals, RegistryRecord& registry,
                     const std::string& installPath, const std::string& id) {
    auto text = journals.read(id);
    if (!text) return text.failure();
    if (text->empty()) return journals.remove(id);  // cut off before its first line: it did nothing
    auto journal = readJournal(*text);
    if (!journal || journal->runId != id) return stop("a journal that cannot be read: ", id);
    Run run{.fs = fs,
            .journals = journals,
            .registry = registry,
            .paths = makeDeploymentPaths({}, installPath),
            .journal = std::move(*journal)};
    const auto forward = isForward(run);
    if (!forward) return forward.failure();
    trace(*forward ? "finishing interrupted run " : "undoing interrupted run ", id);
    return *forward ? finish(run) : undo(run);
}

Result<> completeInterruptedRuns(FileSystem& fs, JournalStore& journals, RegistryRecord& registry,
                                 const std::string& installPath) {
    const auto ids = journals.journalsOf(installPath);
    if (!ids) return ids.failure();
    common::FirstFailure whole;
    for (const std::string& id : *ids) {
        if (!whole.add(completeRun(fs, journals, registry, installPath, id)))
            trace("interrupted run not completed; its journal stays: ", id);
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
    if (auto undone = undo(run); !undone) {
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
    std::string line = firstLine(run.journal.runId, run.journal.packVersion);
    if (auto made = run.journals.create(run.journal.runId, installPath, line); !made) return made;
    run.journal.text = std::move(line);
    Result<> claimed = claimCopy(run, Item::Events);
    if (claimed) claimed = claimCopy(run, Item::Database);
    return claimed ? std::move(claimed) : abandon(run, std::move(claimed));
}

// The version of the pack, empty when it has none.
Result<std::string> packVersionOf(FileSystem& fs, const DeploymentPaths& p,
                                  const VersionReader& readVersion) {
    if (!fs.fileExists(p.versionFile)) return std::string();
    auto version = readVersion(p.versionFile);
    if (!version) return version;
    // The record could not read it back, and no later setup would find the product.
    if (version->size() > kVersionLimit)
        return stop("the pack's version is longer than the registry record holds");
    return version;
}

}  // namespace

DeploymentPaths makeDeploymentPaths(const std::string& mediaFolder,
                                    const std::string& installPath) {
    return {mediaFolder + "\\Events\\Events", mediaFolder + "\\Database\\OrvDb.mdb",
            installPath + "\\Events", installPath + "\\Database\\OrvDb.mdb",
            mediaFolder + "\\Version.bin"};
}

DeployResult deployServicePack(FileSystem& fs, JournalStore& journals, RegistryRecord& registry,
                               const std::string& mediaFolder, const std::string& installPath,
                               const std::string& runId, const VersionReader& readVersion,
                               const VersionValidator& validate, const PackRecord* pack) {
    const auto lock = fs.lockInstallation(installPath);
    if (!lock) {
        trace("nothing changed: another setup holds the installation (or it is not lockable)");
        return {lock.failure(), StopKind::InstallationHeld};
    }
    // First, so the checks below see a whole installation.
    if (auto completed = completeInterruptedRuns(fs, journals, registry, installPath); !completed)
        return completed;

    const DeploymentPaths p = makeDeploymentPaths(mediaFolder, installPath);
    auto packVersion = packVersionOf(fs, p, readVersion);
    if (!packVersion) return packVersion.failure();
    if (!packVersion->empty() && !validate(*packVersion))
        return {stop("the pack's version may not be installed: ", *packVersion),
                StopKind::PackRefused};

    Run run{.fs = fs,
            .journals = journals,
            .registry = registry,
            .paths = p,
            .journal = {.runId = runId, .packVersion = std::move(*packVersion)}};
    if (auto planned = planRun(run, installPath); !planned) return planned;
    trace("staging the pack in ", run.staged(Item::Events)->leaf);
    Result<> applied = fillStagedCopies(run);
    if (applied) {  // the pack proven before anything live changes
        const StagedPack staged{run.copy(Item::Events, run.staged(Item::Events)->leaf),
                                run.copy(Item::Database, run.staged(Item::Database)->leaf),
                                p.versionFile};
        if (DeployResult proven = provePack(fs, pack, staged); !proven)
            return {abandon(run, std::move(proven.result)), proven.stop};
    }
    if (applied) trace("staged copies filled and on disk; swapping the live items");
    if (applied) applied = swapLiveItems(run);
    if (!applied) return abandon(run, std::move(applied));
    if (auto committed = record(run, {.action = Action::Commit}); !committed)
        return abandon(run, std::move(committed));
    // Alive and with nothing done since the swaps, the run undoes itself
    // also when its last step fails; finishing forward is for a later run.
    if (auto completed = completeInstall(run); !completed) {
        if (auto undoing = record(run, {.action = Action::Undoing}); !undoing) {
            common::trace(undoing.failure());
            trace("version not recorded; the next run finishes the install");
            return completed;
        }
        return abandon(run, std::move(completed));
    }
    // Installed: what is left to tidy, a later run tidies.
    if (auto ended = end(run, kFinished); !ended) common::trace(ended.failure());
    return {};
}

}  // namespace update
