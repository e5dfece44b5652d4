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

// One line of the trace: what happened, and the name it happened to.
void trace(std::string_view what, std::string_view name = {}) {
    common::trace(
        common::concat({L"Update: ", common::asciiToWide(what), common::asciiToWide(name)}));
}

// What the install step refuses to go on with, and the name concerned.
common::Failure stop(std::string_view why, std::string_view name = {}) {
    return common::stopFailure(
        L"Update", common::concat({common::asciiToWide(why), common::asciiToWide(name)}));
}

constexpr Item everyItem[] = {Item::Events, Item::Database};

// One install run, under way or being completed from its journal: where it
// works and what its journal notes. The journal in memory holds every entry
// the run made, also one whose write failed: such a line may be on disk all
// the same, and every later write stores it again.
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
    const Entry* staged(Item item) const { return journal.find(Mark::Claim, item); }
    std::string stagedCopy(Item item) const { return copy(item, staged(item)->leaf); }
};

// Notes the entry in the journal and stores it with its line added.
Result<> note(Run& run, Entry entry) {
    run.journal.text += entryLine(entry);
    run.journal.entries.push_back(std::move(entry));
    return run.journals.write(run.journal.runId, run.journal.text);
}

// Whether the staged copy is still the one this run claimed, not something
// put in its place since.
Result<> stillStaged(Run& run, Item item) {
    const Entry& staged = *run.staged(item);
    const auto found = run.fs.identify(run.stagedCopy(item));
    if (!found) return found.failure();
    if (*found != staged.identity) return stop("not the copy this run made: ", staged.leaf);
    return {};
}

// The media's item into its staged copy. Removing the copy undoes it.
Result<> fill(Run& run, Item item) {
    const std::string path = run.stagedCopy(item);
    if (auto staged = stillStaged(run, item); !staged) return staged;
    return item == Item::Events ? run.fs.copyFolder(run.paths.sourceEvents, path)
                                : run.fs.copyFile(run.paths.sourceDatabase, path, true);
}

Result<> fillStagedCopies(Run& run) {
    for (const Item item : everyItem) {
        if (auto noted = note(run, {.mark = Mark::Fill, .item = item}); !noted) return noted;
        if (auto filled = fill(run, item); !filled) return filled;
    }
    // Both copies on disk before the first live item leaves its name: a
    // power cut after that point finishes the run with them.
    return run.fs.flush({run.stagedCopy(Item::Events), run.stagedCopy(Item::Database)});
}

// The swaps, each with its undo. An undo looks at the disk first, so it
// does nothing where its swap was not made and can run again after being
// cut off itself.

Result<> setAside(Run& run, const Entry& aside) {
    return run.fs.rename(run.live(*aside.item), run.copy(*aside.item, aside.leaf));
}

// Something put at the live name while it was free is moved out of the way,
// noted first, and left as it is: it is not the run's to remove.
Result<> displace(Run& run, Item item, const std::string& identity) {
    const std::string leaf = copyLeaf(item, ".found", run.journal.runId);
    trace("someone else's item at the live name, moved to ", leaf);
    if (auto noted = note(run, {Mark::Displaced, item, leaf, identity}); !noted) return noted;
    return run.fs.rename(run.live(item), run.copy(item, leaf));
}

// The live item goes back to its name, unless it never left it.
Result<> putBack(Run& run, const Entry& aside) {
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
    if (!atLive->empty()) {
        if (auto moved = displace(run, *aside.item, *atLive); !moved) return moved;
    }
    trace("putting back: ", aside.leaf);
    return run.fs.rename(path, live);
}

Result<> putLive(Run& run, const Entry& change) {
    if (auto staged = stillStaged(run, *change.item); !staged) return staged;
    return run.fs.rename(run.stagedCopy(*change.item), run.live(*change.item));
}

// The staged copy goes back to its own name, so a tree half removed never
// sits under the live name.
Result<> takeBack(Run& run, const Entry& change) {
    const Entry* staged = run.staged(*change.item);
    const auto atLive = run.fs.identify(run.live(*change.item));
    if (!atLive) return atLive.failure();
    if (!staged || *atLive != staged->identity) return {};
    return run.fs.rename(run.live(*change.item), run.copy(*change.item, staged->leaf));
}

struct Swap {
    Mark mark;
    Item item;
    Result<> (*apply)(Run&, const Entry&);
    Result<> (*undo)(Run&, const Entry&);
};

// Renames are the only changes to the live installation.
constexpr Swap everySwap[] = {
    {Mark::SetAside, Item::Events, &setAside, &putBack},
    {Mark::PutLive, Item::Events, &putLive, &takeBack},
    {Mark::SetAside, Item::Database, &setAside, &putBack},
    {Mark::PutLive, Item::Database, &putLive, &takeBack},
};

// The entry announcing the swap, with what undoing it needs as the disk
// shows it now: the aside name, and the identity of the item renamed to it,
// which may have been replaced while the staged copies were made.
Result<Entry> announcement(Run& run, const Swap& swap) {
    Entry announced{.mark = swap.mark, .item = swap.item};
    if (swap.mark != Mark::SetAside) return announced;
    auto identity = run.fs.identify(run.live(swap.item));
    if (!identity) return identity.failure();
    if (identity->empty()) return stop("gone before it was set aside: ", run.live(swap.item));
    announced.leaf = copyLeaf(swap.item, ".old", run.journal.runId);
    announced.identity = std::move(*identity);
    return announced;
}

Result<> swapLiveItems(Run& run) {
    for (const Swap& swap : everySwap) {
        const auto announced = announcement(run, swap);
        if (!announced) return announced.failure();
        if (auto noted = note(run, *announced); !noted) return noted;
        if (auto applied = swap.apply(run, *announced); !applied) return applied;
    }
    return {};
}

// Newest entry first, every undo tried even after one failed: succeeds
// when the live items are as before the run.
Result<> rollBack(Run& run) {
    common::FirstFailure whole;
    const std::vector<Entry> entries = run.journal.entries;  // an undo may note more
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        for (const Swap& swap : everySwap) {
            if (swap.mark == it->mark && swap.item == it->item) whole.add(swap.undo(run, *it));
        }
    }
    return std::move(whole).result();
}

// Both staged copies are live: each takes the permissions of where it now
// lies (unless it was replaced since, by something made there), and the
// version is recorded, on disk (the registry is flushed), so a power cut
// cannot leave the new files under the old version.
Result<> completeInstall(Run& run) {
    for (const Item item : everyItem) {
        const std::string& staged = run.staged(item)->identity;
        const auto atLive = run.fs.identify(run.live(item));
        if (!atLive) return atLive.failure();
        if (*atLive != staged) continue;
        if (auto inherited = run.fs.inheritPermissions(run.live(item), staged); !inherited)
            return inherited;
    }
    const std::string& version = run.journal.packVersion;
    if (version.empty()) return {};
    trace("Events and the database replaced; recording version ", version);
    return run.registry.setInstalledVersion(version);
}

// The live items go back, and the version too once the run may have
// recorded its own (after its commit).
Result<> rollBackAll(Run& run) {
    if (auto back = rollBack(run); !back) return back;
    if (!run.journal.has(Mark::Commit) || run.journal.packVersion.empty()) return {};
    trace("recording the version before the run again: ", run.journal.versionBefore);
    return run.registry.setInstalledVersion(run.journal.versionBefore);
}

// Removes the copies named by the entries that are still the ones this run
// made; true when none of them is left.
bool removeCopies(Run& run, Mark copies) {
    bool allGone = true;
    for (const Entry& named : run.journal.entries) {
        if (named.mark != copies) continue;
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

// Completes the run as its journal's marks decide: the ending's work, then
// its mark, then the copies the ending leaves and, once none is left, the
// journal. Succeeds when the journal says how the run ended: later runs
// then only retry removing what is left, and that never stops them.
Result<> complete(Run& run) {
    const bool finished = run.journal.ending() == Ending::Finished;
    const Mark ended = finished ? Mark::Installed : Mark::Undone;
    if (!run.journal.has(ended)) {
        auto done = finished ? completeInstall(run) : rollBackAll(run);
        if (done) done = note(run, {.mark = ended});
        if (!done) return done;
    }
    if (!removeCopies(run, finished ? Mark::SetAside : Mark::Claim)) return {};
    if (auto removed = run.journals.remove(run.journal.runId); !removed)
        common::trace(removed.failure());
    return {};
}

// Completes the run the journal describes. Fails when the installation may
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
    const bool forward = run.journal.ending() == Ending::Finished;
    trace(forward ? "finishing interrupted run " : "undoing interrupted run ", id);
    return complete(run);
}

// Succeeds with whether there was any run to complete.
Result<bool> completeInterruptedRuns(FileSystem& fs, JournalStore& journals,
                                     RegistryRecord& registry, const std::string& installPath) {
    const auto ids = journals.journalsOf(installPath);
    if (!ids) return ids.failure();
    common::FirstFailure whole;
    for (const std::string& id : *ids) {
        if (!whole.add(completeRun(fs, journals, registry, installPath, id)))
            trace("interrupted run not completed; its journal stays: ", id);
    }
    if (auto completed = std::move(whole).result(); !completed) return completed.failure();
    return !ids->empty();
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

// The name to stage the item in, claimed by making the empty copy there
// and noted with its identity.
Result<> claimCopy(Run& run, Item item) {
    const std::string leaf = copyLeaf(item, ".new", run.journal.runId);
    const auto keep = [&](const std::string& identity) {
        return note(run, {Mark::Claim, item, leaf, identity});
    };
    return run.fs.claim(run.copy(item, leaf), item == Item::Events, keep);
}

// A failed run ends as if it never began. Once its journal may say that it
// committed, a later run would finish it: so it first notes that it is
// undone after all, and when even that fails it leaves the run to the next,
// which the journal then sends forward, as the disk still is.
Result<> abandon(Run& run, Result<> failed) {
    if (run.journal.ending() == Ending::Finished) {
        if (auto noted = note(run, {.mark = Mark::Undoing}); !noted) {
            common::trace(noted.failure());
            trace("not undone; the next run finishes the install");
            return failed;
        }
    }
    if (auto undone = complete(run); !undone) {
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
    run.journal.text = firstLine(run.journal);
    if (auto made = run.journals.create(run.journal.runId, installPath, run.journal.text); !made) {
        // It may have been made all the same, and would then be read as a
        // run that did nothing.
        if (auto removed = run.journals.remove(run.journal.runId); !removed)
            common::trace(removed.failure());
        return made;
    }
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
    if (version->size() > versionLimit)
        return stop("the pack's version is longer than the registry record holds");
    return version;
}

// The run's journal as it begins: the version it installs and the one an
// undo puts back in the registry record.
Result<InstallJournal> newJournal(RegistryRecord& registry, const std::string& runId,
                                  std::string packVersion) {
    InstallJournal journal{.runId = runId, .packVersion = std::move(packVersion)};
    if (journal.packVersion.empty()) return journal;
    auto before = registry.installedVersion();
    if (!before) return before.failure();
    journal.versionBefore = std::move(*before);
    return journal;
}

// The run itself, once the installation is held and whole.
DeployResult deployPack(FileSystem& fs, JournalStore& journals, RegistryRecord& registry,
                        const std::string& mediaFolder, const std::string& installPath,
                        const std::string& runId, const VersionReader& readVersion,
                        const VersionValidator& validate, const PackRecord* pack) {
    const DeploymentPaths p = makeDeploymentPaths(mediaFolder, installPath);
    auto packVersion = packVersionOf(fs, p, readVersion);
    if (!packVersion) return packVersion.failure();
    if (!packVersion->empty() && !validate(*packVersion))
        return {stop("the pack's version may not be installed: ", *packVersion),
                StopKind::PackRefused};
    auto journal = newJournal(registry, runId, std::move(*packVersion));
    if (!journal) return journal.failure();
    Run run{.fs = fs,
            .journals = journals,
            .registry = registry,
            .paths = p,
            .journal = std::move(*journal)};
    if (auto planned = planRun(run, installPath); !planned) return planned;
    trace("staging the pack in ", run.staged(Item::Events)->leaf);
    Result<> applied = fillStagedCopies(run);
    if (applied) {  // the pack proven before anything live changes
        const StagedPack staged{run.stagedCopy(Item::Events), run.stagedCopy(Item::Database),
                                p.versionFile};
        if (DeployResult proven = provePack(fs, pack, staged); !proven)
            return {abandon(run, std::move(proven.result)), proven.stop};
    }
    if (applied) trace("staged copies filled and on disk; swapping the live items");
    if (applied) applied = swapLiveItems(run);
    if (applied) applied = note(run, {.mark = Mark::Commit});
    // Alive and with nothing done since the swaps, the run undoes itself
    // also when its last step fails; finishing forward is for a later run.
    if (applied) applied = completeInstall(run);
    if (!applied) return abandon(run, std::move(applied));
    // Installed: what is left to tidy, a later run tidies.
    if (auto noted = note(run, {.mark = Mark::Installed}); !noted) common::trace(noted.failure());
    if (auto tidied = complete(run); !tidied) common::trace(tidied.failure());
    return {};
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
    if (!lock) return lock.failure();
    if (!*lock)
        return {stop("nothing changed: another setup holds the installation"),
                StopKind::InstallationHeld};
    // First, so the checks below see a whole installation.
    const auto completed = completeInterruptedRuns(fs, journals, registry, installPath);
    if (!completed) return completed.failure();
    DeployResult result = deployPack(fs, journals, registry, mediaFolder, installPath, runId,
                                     readVersion, validate, pack);
    result.completedEarlierRuns = *completed;
    return result;
}

}  // namespace update
