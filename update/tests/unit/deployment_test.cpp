#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <utility>

#include "core/deployment.hpp"
#include "core/install_journal.hpp"
#include "core/pack_record.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"

using namespace update;

namespace {

using Result = common::Result<>;

// The power going off: the fake stops where it stands and undoes nothing.
struct PowerCut {};

// A call that fails part way; that does all it does and fails all the same
// (a write whose outcome is uncertain); or the power going off under it.
enum class Fault { Error, Landed, Crash };

// In-memory tree: a path maps to nullopt for a folder or to file content,
// and keeps its identity when renamed. Every changing call, the registry's
// and the journals' included, is numbered; the one numbered faultAt meets
// the fault, after `beforeCall` saw its target. A copy, a tree removal or a
// write hit part way stops there, and a cut loses what was not flushed.
// Queries are not numbered: a false answer there is a different tree, not a
// fault. Locked files cannot be opened exclusively or removed.
class FakeFileSystem : public FileSystem {
public:
    using Tree = std::map<std::string, std::optional<std::string>>;
    Tree tree;
    std::map<std::string, int> ids;
    int lastId = 0;
    std::set<std::string> locked;
    std::set<std::string> unflushed;
    std::set<std::string> guarded;   // only administrators may change these
    std::set<std::string> unlisted;  // files a listing leaves out
    std::string unlistable;          // the listing of this path fails
    bool held = false;               // a setup holds the installation
    Fault fault = Fault::Error;
    int faultAt = -1;
    int calls = 0;
    std::function<void(const std::string& target)> beforeCall;

    void folder(const std::string& p) { put(p, std::nullopt); }
    void file(const std::string& p, const std::string& c) { put(p, c); }

    // How the call goes: whole, or part way; and whether it fails at its end.
    struct Call {
        bool whole;
        bool fails;
        explicit operator bool() const { return whole; }
    };
    Call next(const std::string& target) {
        if (beforeCall) beforeCall(target);
        const bool hit = calls++ == faultAt;
        return {!hit || fault == Fault::Landed, hit};
    }
    static Result ok(bool done) { return done ? Result() : common::stopFailure(L"fake", L"no"); }
    // The result of a call that went ahead (whole or in part).
    Result settle(Call call) {
        if (!call.fails) return {};
        if (call.whole) return ok(false);
        if (fault == Fault::Crash) {
            for (const auto& p : unflushed)
                if (isFile(p)) tree[p] = "lost";
            unflushed.clear();
            throw PowerCut{};
        }
        return ok(false);
    }

    bool fileExists(const std::string& p) override { return isFile(p); }
    bool folderExists(const std::string& p) override { return isFolder(p); }
    // A tree removal hit part way stops there; what is held stays.
    Result remove(const std::string& p, const std::string& id) override {
        const Call whole = next(p);
        if (identity(p).empty() || identity(p) != id) return ok(false);
        for (const auto& path : under(p)) {
            if (!holds(path)) erase(path);
            if (!whole) break;
        }
        const bool all = under(p).empty() && !holds(p);
        if (whole && all) erase(p);
        if (auto settled = settle(whole); !settled) return settled;
        return ok(all);
    }
    Result claim(const std::string& p, bool asFolder,
                 const std::function<Result(const std::string&)>& keep) override {
        const Call call = next(p);
        if (!call) return settle(call);
        if (tree.count(p) || !isFolder(parent(p))) return ok(false);
        put(p, asFolder ? std::nullopt : std::optional<std::string>(""));
        guarded.insert(p);
        if (auto kept = keep(identity(p)); kept) return settle(call);
        erase(p);  // it goes with its handle
        return ok(false);
    }
    Result copyFolder(const std::string& src, const std::string& dst) override {
        const Call whole = next(dst);
        if (!isFolder(src) || !isFolder(dst)) return ok(false);
        for (const auto& path : under(src)) {
            const std::string to = dst + path.substr(src.size());
            put(to, tree[path]);
            if (tree[to]) unflushed.insert(to);
            if (!whole) break;
        }
        return settle(whole);
    }
    Result copyFile(const std::string& src, const std::string& dst, bool overwrite) override {
        const Call whole = next(dst);
        if (!isFile(src) || isFolder(dst) || !isFolder(parent(dst))) return ok(false);
        if (isFile(dst) && !overwrite) return ok(false);
        put(dst, whole ? *tree[src] : std::string("partial"));
        unflushed.insert(dst);
        return settle(whole);
    }
    Result rename(const std::string& src, const std::string& dst) override {
        const Call call = next(dst);
        if (!call) return settle(call);
        if (!tree.count(src) || tree.count(dst) || !isFolder(parent(dst))) return ok(false);
        for (auto path : under(src)) move(path, dst + path.substr(src.size()));
        move(src, dst);
        return settle(call);
    }
    Result inheritPermissions(const std::string& p, const std::string& id) override {
        const Call call = next(p);
        if (!call) return settle(call);
        if (identity(p) != id) return ok(false);
        guarded.erase(p);
        return settle(call);
    }
    common::Result<std::string> identify(const std::string& p) override { return identity(p); }
    Result canOpenExclusively(const std::string& p) override {
        return ok(isFile(p) && !locked.count(p));
    }
    Result canRemoveAll(const std::string& p) override {
        for (const auto& path : under(p))
            if (locked.count(path)) return ok(false);
        return ok(isFolder(p));
    }
    // A stand-in digest: 64 hex digits that differ where the contents do.
    static std::string digest(const std::string& content) {
        std::string bytes;
        for (char salt = 0; salt < 4; ++salt) {
            const std::uint64_t h = std::hash<std::string>{}(content + salt);
            for (int shift = 56; shift >= 0; shift -= 8) bytes += static_cast<char>(h >> shift);
        }
        return common::hexOfBytes(bytes);
    }
    common::Result<std::vector<std::vector<PackFile>>> contents(
        const std::vector<std::string>& paths) override {
        std::vector<std::vector<PackFile>> listings;
        for (const std::string& p : paths) {
            if (p == unlistable) return ok(false).failure();
            auto& files = listings.emplace_back();
            const auto list = [&](const std::string& path, std::string relative) {
                if (isFile(path) && !unlisted.contains(path))
                    files.push_back(
                        {std::move(relative), tree.at(path)->size(), digest(*tree.at(path))});
            };
            list(p, "");
            for (const auto& path : under(p)) list(path, path.substr(p.size() + 1));
        }
        return listings;
    }
    // One barrier for all: a failure or cut part way has flushed the first.
    Result flush(const std::vector<std::string>& paths) override {
        const Call whole = next(paths.front());
        for (const auto& p : paths) {
            unflushed.erase(p);
            for (const auto& path : under(p)) unflushed.erase(path);
            if (!whole) return settle(whole);
        }
        return settle(whole);
    }
    common::Result<std::unique_ptr<InstallationLock>> lockInstallation(
        const std::string&) override {
        struct Lock : InstallationLock {
            bool& held;
            explicit Lock(bool& h) : held(h) { held = true; }
            ~Lock() override { held = false; }
        };
        if (held) return std::unique_ptr<InstallationLock>();
        return std::unique_ptr<InstallationLock>(std::make_unique<Lock>(held));
    }
    std::string identity(const std::string& p) const {
        return tree.contains(p) ? "id" + std::to_string(ids.at(p)) : "";
    }
    std::vector<std::string> under(const std::string& p) const {
        std::vector<std::string> paths;
        for (const auto& [path, content] : tree)
            if (path.rfind(p + "\\", 0) == 0) paths.push_back(path);
        return paths;
    }

private:
    bool isFile(const std::string& p) const { return tree.contains(p) && tree.at(p); }
    bool isFolder(const std::string& p) const { return tree.contains(p) && !tree.at(p); }
    static std::string parent(const std::string& p) { return p.substr(0, p.rfind('\\')); }
    bool holds(const std::string& p) const {
        for (const auto& l : locked)
            if (l == p || l.rfind(p + "\\", 0) == 0) return true;
        return false;
    }
    void put(const std::string& p, std::optional<std::string> content) {
        tree[p] = std::move(content);
        if (!ids.contains(p)) ids[p] = ++lastId;
    }
    void erase(const std::string& p) {
        tree.erase(p);
        ids.erase(p);
        guarded.erase(p);
    }
    void move(const std::string& from, const std::string& to) {
        tree[to] = tree[from];
        ids[to] = ids[from];
        const bool wasGuarded = guarded.contains(from);
        erase(from);
        if (wasGuarded) guarded.insert(to);
        if (unflushed.erase(from)) unflushed.insert(to);
    }
};

// The journals' store: a write or removal is whole or not done at all, and
// on disk when it returns. Its calls are numbered with the file system's.
class FakeJournals : public JournalStore {
public:
    struct Journal {
        std::string folder;
        std::string text;
        bool operator==(const Journal&) const = default;
    };
    std::map<std::string, Journal> journals;

    explicit FakeJournals(FakeFileSystem& fs) : fs_(fs) {}
    common::Result<std::vector<std::string>> journalsOf(const std::string& folder) override {
        std::vector<std::string> ids;
        for (const auto& [id, journal] : journals)
            if (journal.folder == folder) ids.push_back(id);
        return ids;
    }
    common::Result<std::string> read(const std::string& id) override {
        return journals.at(id).text;
    }
    Result create(const std::string& id, const std::string& folder,
                  const std::string& text) override {
        const auto call = fs_.next("journal");
        if (!call) return fs_.settle(call);
        if (journals.contains(id)) return FakeFileSystem::ok(false);
        journals[id] = {folder, text};
        return fs_.settle(call);
    }
    Result write(const std::string& id, const std::string& text) override {
        const auto call = fs_.next("journal");
        if (!call) return fs_.settle(call);
        journals.at(id).text = text;
        return fs_.settle(call);
    }
    Result remove(const std::string& id) override {
        const auto call = fs_.next("journal");
        if (!call) return fs_.settle(call);
        journals.erase(id);
        return fs_.settle(call);
    }

private:
    FakeFileSystem& fs_;
};

class FakeRegistry : public RegistryRecord {
public:
    explicit FakeRegistry(FakeFileSystem& fs) : fs_(fs) {}
    std::string version = "1.8.2";
    common::Result<std::string> installedVersion() override { return version; }
    Result setInstalledVersion(const std::string& v) override {
        const auto call = fs_.next("registry");
        if (!call) return fs_.settle(call);
        version = v;
        return fs_.settle(call);
    }

private:
    FakeFileSystem& fs_;
};

class Deployment : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* f :
             {"M:", "M:\\Events", "M:\\Events\\Events", "M:\\Events\\Events\\sub", "M:\\Database",
              "I:", "I:\\Events", "I:\\Events\\keep", "I:\\Database"})
            fs.folder(f);
        fs.file("M:\\Version.bin", "raw");
        fs.file("M:\\Events\\Events\\a.evt", "new-a");
        fs.file("M:\\Events\\Events\\sub\\b.evt", "new-b");
        fs.file("M:\\Database\\OrvDb.mdb", "new-db");
        fs.file("I:\\Events\\a.evt", "old-a");
        fs.file("I:\\Events\\keep\\old.evt", "old-only");
        fs.file("I:\\Database\\OrvDb.mdb", "old-db");
        fs.file("I:\\other.txt", "user");
        record = recordOfMedia();
    }

    // The record a release would build from the media folder.
    PackRecord recordOfMedia() const {
        std::string text;
        for (const auto& [path, content] : fs.tree) {
            if (!content || !path.starts_with("M:\\")) continue;
            const std::string name = path.substr(3);
            if ((name.starts_with("Events\\Events\\") || name == "Database\\OrvDb.mdb" ||
                 name == "Version.bin"))
                text += FakeFileSystem::digest(*content) + " " + std::to_string(content->size()) +
                        " " + name + "\n";
        }
        auto read = readPackRecord(text);
        EXPECT_TRUE(read);
        return read ? *read : PackRecord();
    }

    void reset() {
        fs = FakeFileSystem();
        journals.journals.clear();
        SetUp();
        registry.version = "1.8.2";
    }

    // True when the pack is installed.
    bool run(const std::string& runId = "run") { return static_cast<bool>(deploy(runId)); }
    DeployResult deploy(const std::string& runId = "run") {
        DeployResult result = deployServicePack(
            fs, journals, registry, "M:", "I:", runId,
            [this](const std::string&) -> common::Result<std::string> {
                if (version) return *version;
                return common::stopFailure(L"fake", L"unreadable");
            },
            [this](const std::string& v) {
                validated = v;
                return allowed;
            },
            record ? &*record : nullptr);
        return result;
    }

    // Nullopt when the power was cut under it.
    std::optional<bool> runFaulted(Fault fault, int at, const std::string& runId) {
        fs.fault = fault;
        fs.faultAt = at;
        fs.calls = 0;
        try {
            return run(runId);
        } catch (const PowerCut&) {
            return std::nullopt;
        }
    }

    // Everything a run may change: the files of both folders with who may
    // change them, the record and the journals.
    struct State {
        FakeFileSystem::Tree tree;
        std::set<std::string> guarded;
        std::string version;
        std::map<std::string, FakeJournals::Journal> journals;
        bool operator==(const State&) const = default;
        friend void PrintTo(const State& s, std::ostream* out) {
            *out << testing::PrintToString(s.tree) << " guarded "
                 << testing::PrintToString(s.guarded) << " version " << s.version << " journals "
                 << s.journals.size();
        }
    };
    State state() const { return {fs.tree, fs.guarded, registry.version, journals.journals}; }

    FakeFileSystem fs;
    FakeJournals journals{fs};
    FakeRegistry registry{fs};
    std::optional<std::string> version = "1.9.0";
    std::optional<PackRecord> record;  // none: a build that carries no record
    std::string validated;
    bool allowed = true;
};

TEST_F(Deployment, SuccessMirrorsMediaAndRecordsVersion) {
    const DeployResult result = deploy();
    ASSERT_TRUE(result);
    EXPECT_FALSE(result.completedEarlierRuns);
    FakeFileSystem::Tree install;
    for (const auto& [path, content] : fs.tree)
        if (path.rfind("I:\\", 0) == 0) install[path] = content;
    const FakeFileSystem::Tree expected{
        {"I:\\Events", std::nullopt},      {"I:\\Events\\a.evt", "new-a"},
        {"I:\\Events\\sub", std::nullopt}, {"I:\\Events\\sub\\b.evt", "new-b"},
        {"I:\\Database", std::nullopt},    {"I:\\Database\\OrvDb.mdb", "new-db"},
        {"I:\\other.txt", "user"}};
    EXPECT_EQ(install, expected);
    EXPECT_EQ(validated, "1.9.0");
    EXPECT_EQ(registry.version, "1.9.0");
}

// What a cut can leave beside the live items that no later run can prove
// its own: an empty copy made just before the line noting it. It is
// never touched again.
FakeFileSystem::Tree unprovable(const FakeFileSystem& fs, const FakeJournals& store) {
    std::string journals;
    for (const auto& [id, journal] : store.journals) journals += journal.text;
    FakeFileSystem::Tree left;
    for (const auto& [path, content] : fs.tree) {
        const std::string parent = path.substr(0, path.rfind('\\'));
        const bool empty = content ? content->empty() : fs.under(path).empty();
        if ((parent == "I:" || parent == "I:\\Database") && empty &&
            journals.find(" " + fs.identity(path) + "\r\n") == std::string::npos)
            left.emplace(path, content);
    }
    return left;
}

// Each changing call in turn fails, does all it does and fails all the same,
// or has the power cut under it. A failure the run reports leaves all exactly
// as before the run. A later run with a pack it refuses completes the
// journal, itself cut off at each of its calls in turn and then run again:
// all ends exactly as before the run, or as after a whole install once the
// journal on disk says the run committed, with no stray name.
TEST_F(Deployment, CutOffAnywhereEndsAsBeforeOrInstalled) {
    const State before = state();
    // A second setup reaching Install at each step of this one changes nothing.
    bool racing = false;
    fs.beforeCall = [&](const std::string&) {
        if (std::exchange(racing, true)) return;
        const State now = state();
        EXPECT_FALSE(run("second"));
        EXPECT_EQ(state(), now);
        racing = false;
    };
    ASSERT_TRUE(run());
    fs.beforeCall = nullptr;
    const State installed = state();
    const int calls = fs.calls;

    for (const Fault fault : {Fault::Error, Fault::Landed, Fault::Crash}) {
        for (int at = 0; at < calls; ++at) {
            constexpr const char* faults[] = {"failure", "failure that landed", "power cut"};
            SCOPED_TRACE(faults[static_cast<int>(fault)] + std::string(" at call ") +
                         std::to_string(at));
            reset();
            const auto result = runFaulted(fault, at, "run");
            ASSERT_EQ(result.has_value(), fault != Fault::Crash);
            bool committed = false;
            for (const auto& [id, journal] : journals.journals)
                committed |= journal.text.find("\r\ncommit\r\n") != std::string::npos;
            if (result == false) {
                EXPECT_EQ(state(), before);
            }
            if (result == true) {
                EXPECT_EQ(registry.version, "1.9.0");
            }

            const FakeFileSystem cutOff = fs;
            const auto cutOffJournals = journals.journals;
            const std::string cutOffVersion = registry.version;
            const FakeFileSystem::Tree left = unprovable(cutOff, journals);
            allowed = false;
            for (int again = 0;; ++again) {
                fs = cutOff;
                journals.journals = cutOffJournals;
                registry.version = cutOffVersion;
                const bool cut = !runFaulted(Fault::Crash, again, "later");
                fs.faultAt = -1;
                EXPECT_FALSE(run("last"));
                State after = state();
                for (const auto& [path, content] : left) {
                    EXPECT_TRUE(after.tree.contains(path) && after.tree[path] == content) << path;
                    after.tree.erase(path);
                    after.guarded.erase(path);
                }
                EXPECT_TRUE(after == installed || (after == before && !committed))
                    << "completion cut at call " << again << ": " << testing::PrintToString(after);
                if (result == true) {
                    EXPECT_EQ(after, installed);
                }
                if (!cut) break;
            }
            allowed = true;
        }
    }
}

// Users may write in the installation folder, and the program acts there
// with its own rights. A journal planted there, whatever it says, is never
// read; anything whose identity is not the one a journal notes is left as
// it is and stops nothing, also when it is swapped in just as the run
// removes the copy it replaced; a journal in the store that cannot be read
// stops the run before any change, and one of another folder is left.
TEST_F(Deployment, WhatUsersMakeOrChangeSteersNothing) {
    ASSERT_TRUE(run());
    const FakeFileSystem::Tree installed = fs.tree;
    const std::string mark = firstLine({.runId = "planted", .packVersion = "99.0.0"});
    for (const auto& [text, where] : std::vector<std::pair<std::string, std::string>>{
             {mark + "aside-events Events.old.planted id1\r\ncommit\r\n",
              "I:\\Update.exe-install.journal"},
             {mark + "claim-events Events.new.planted id99\r\n"
                     "aside-events Events.old.planted id98\r\n",
              "I:\\Update.exe-install.journal"},
             {mark + "commit\r\n", "store of I:\\Other"},
             {"not a journal\r\n", "store"},
             {mark + "claim-database ..\\other.txt id1\r\n", "store"},
             {mark + "claim-database OrvDb.mdb.new.other id1\r\n", "store"},
             {mark + std::string(journalLimit, 'x') + "\r\n", "store"}}) {
        SCOPED_TRACE(text.substr(0, 80));
        reset();
        FakeFileSystem::Tree planted{{"I:\\Events.new", std::nullopt},
                                     {"I:\\Events.old", std::nullopt},
                                     {"I:\\Events.old\\mine.txt", "user"}};
        if (where.starts_with("I:")) planted.emplace(where, text);
        for (const auto& [path, content] : planted)
            content ? fs.file(path, *content) : fs.folder(path);
        if (where.starts_with("store")) {
            const std::string folder = where == "store" ? "I:" : where.substr(9);
            journals.journals["planted"] = {folder, text};
        }
        const State before = state();
        if (where == "store") {
            EXPECT_FALSE(run());
            EXPECT_EQ(state(), before);
            continue;
        }
        EXPECT_TRUE(run());
        planted.merge(FakeFileSystem::Tree(installed));
        EXPECT_EQ(fs.tree, planted);
        EXPECT_EQ(registry.version, "1.9.0");
    }
    // The aside copy is swapped for someone else's folder as it is removed.
    reset();
    fs.beforeCall = [&](const std::string& target) {
        if (target != "I:\\Events.old.run" || !fs.tree.contains(target) ||
            fs.tree.contains("I:\\Elsewhere"))
            return;
        ASSERT_TRUE(fs.rename(target, "I:\\Elsewhere"));
        fs.folder(target);
        fs.file(target + "\\theirs.txt", "user");
    };
    EXPECT_TRUE(run());
    EXPECT_EQ(fs.tree["I:\\Events.old.run\\theirs.txt"], "user");
    EXPECT_EQ(fs.tree["I:\\Elsewhere\\keep\\old.evt"], "old-only");
}

// Someone puts a file at each name the run uses just before its use (which
// nobody can do ahead of the run: the names carry its id): the run fails and
// ends as before. The file is never removed or swapped in; one at a live
// name left free between the swaps is moved to a name of its own, noted,
// so that the live item can go back.
TEST_F(Deployment, ANameTakenJustBeforeItsUseStaysSomeoneElses) {
    for (const auto& [name, endsAt] :
         {std::pair{std::string("I:\\Events.new.run"), std::string("I:\\Events.new.run")},
          {"I:\\Database\\OrvDb.mdb.new.run", "I:\\Database\\OrvDb.mdb.new.run"},
          {"I:\\Events.old.run", "I:\\Events.old.run"},
          {"I:\\Database\\OrvDb.mdb.old.run", "I:\\Database\\OrvDb.mdb.old.run"},
          {"I:\\Events", "I:\\Events.found.run"},
          {"I:\\Database\\OrvDb.mdb", "I:\\Database\\OrvDb.mdb.found.run"}}) {
        SCOPED_TRACE(name);
        reset();
        const State before = state();
        bool planted = false;
        fs.beforeCall = [&, name = name](const std::string& target) {
            if (target == name && !std::exchange(planted, true)) fs.file(name, "theirs");
        };
        EXPECT_FALSE(run());
        fs.beforeCall = nullptr;
        ASSERT_TRUE(fs.tree.contains(endsAt));
        EXPECT_EQ(fs.tree.at(endsAt), "theirs");
        fs.tree.erase(endsAt);
        EXPECT_EQ(state(), before);
    }
}

// A run cut off after its commit line is finished by the next, also once the
// database was replaced by a new file (as a compaction does); an aside copy
// held open stops no run, and goes once it is closed.
TEST_F(Deployment, ALaterRunFinishesACommittedRunAndALeftoverNeverStopsIt) {
    ASSERT_TRUE(run());
    const FakeFileSystem::Tree clean = fs.tree;
    reset();
    fs.locked = {"I:\\Events.old.run\\keep\\old.evt"};
    fs.beforeCall = [](const std::string& target) {
        if (target == "registry") throw PowerCut{};
    };
    EXPECT_THROW(run(), PowerCut);
    fs.beforeCall = nullptr;
    fs.ids.erase("I:\\Database\\OrvDb.mdb");
    fs.file("I:\\Database\\OrvDb.mdb", "new-db");
    version = "1.9.1";
    allowed = false;  // a refused pack still completes what was cut off
    const DeployResult refused = deploy("refused");
    EXPECT_FALSE(refused);
    EXPECT_TRUE(refused.completedEarlierRuns);
    EXPECT_EQ(registry.version, "1.9.0");
    allowed = true;
    EXPECT_TRUE(run("second"));
    EXPECT_EQ(registry.version, "1.9.1");
    EXPECT_EQ(fs.tree.at("I:\\Events.old.run\\keep\\old.evt"), "old-only");
    fs.locked.clear();
    EXPECT_TRUE(run("third"));
    EXPECT_EQ(fs.tree, clean);
}

TEST_F(Deployment, PreconditionsFailBeforeAnyChange) {
    const auto before = fs.tree;
    allowed = false;
    EXPECT_FALSE(run());
    allowed = true;
    version.reset();  // unreadable version file
    EXPECT_FALSE(run());
    version = "1.9.0." + std::string(versionLimit - 5, '0');  // one more than the record holds
    EXPECT_FALSE(run());
    version = "1.9.0";
    for (const char* held : {"I:\\Database\\OrvDb.mdb", "I:\\Events\\keep\\old.evt"}) {
        fs.locked = {held};
        EXPECT_FALSE(run()) << held;
    }
    fs.locked.clear();
    fs.tree.erase("I:\\Database\\OrvDb.mdb");
    EXPECT_FALSE(run());
    auto expected = before;
    expected.erase("I:\\Database\\OrvDb.mdb");
    EXPECT_EQ(fs.tree, expected);
    EXPECT_EQ(fs.calls, 0);
}

std::wstring traced;
void traceInto(std::wstring_view line) { traced.append(line).append(L"\n"); }

// A build without a record (a developer's) takes the media as they are, and
// says so; without a version file it records no version.
TEST_F(Deployment, NoVersionFileDeploysWithoutValidationOrRegistry) {
    fs.tree.erase("M:\\Version.bin");
    record.reset();
    traced.clear();
    common::setTraceSink(&traceInto);
    EXPECT_TRUE(run());
    common::setTraceSink(nullptr);
    EXPECT_NE(traced.find(L"media not checked"), std::wstring::npos) << traced;
    EXPECT_EQ(validated, "");
    EXPECT_EQ(registry.version, "1.8.2");
}

// Damaged media, or a staged copy that differs from what was copied, stop
// the run before anything live changes, naming the first file that differs
// and how; all ends as before the run. A listing that fails stops it too,
// as a failure of its own.
TEST_F(Deployment, OnlyTheRecordedPackGoesLive) {
    const std::string events = "Events\\Events\\";
    const struct {
        std::string path;                // under M:, or I: for the staged copies
        std::optional<std::string> now;  // nullopt: gone
        std::string named;               // the stop's last words; empty: not PackInvalid
    } rows[] = {
        {"M:\\Events\\Events\\a.evt", "NEW-a", events + "a.evt: other digest"},
        {"M:\\Events\\Events\\a.evt", "new-", events + "a.evt: other size"},
        {"M:\\Events\\Events\\sub\\b.evt", std::nullopt, events + "sub\\b.evt: missing"},
        {"M:\\Events\\Events\\sub\\c.evt", "extra", events + "sub\\c.evt: not in the pack"},
        {"I:\\Events.new.run\\sub\\b.evt", "NEW-b", events + "sub\\b.evt: other digest"},
        {"I:\\Events.new.run\\sub\\b.evt", std::nullopt, events + "sub\\b.evt: missing"},
        {"M:\\Database\\OrvDb.mdb", "NEW-db", "Database\\OrvDb.mdb: other digest"},
        {"M:\\Database\\OrvDb.mdb", "new-db, longer", "Database\\OrvDb.mdb: other size"},
        {"I:\\Database\\OrvDb.mdb.new.run", std::nullopt, "Database\\OrvDb.mdb: missing"},
        {"M:\\Version.bin", "RAW", "Version.bin: other digest"},
        {"M:\\Version.bin", "ra", "Version.bin: other size"},
        {"M:\\Version.bin", std::nullopt, "Version.bin: missing"},
        {"I:\\Events.new.run", "unlistable", ""},
        {"M:\\Version.bin", "unlistable", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path + " " + row.now.value_or("gone"));
        reset();
        const bool staged = row.path.starts_with("I:");
        if (row.now == "unlistable") {
            fs.unlistable = row.path;
        } else if (!staged) {
            row.now ? fs.file(row.path, *row.now) : void(fs.tree.erase(row.path));
        } else {  // changed once copied, as the flush begins; gone from the listing
            fs.beforeCall = [&](const std::string& target) {
                if (target != "I:\\Events.new.run" ||
                    !fs.tree.contains("I:\\Events.new.run\\a.evt"))
                    return;
                row.now ? void(fs.tree[row.path] = *row.now) : void(fs.unlisted.insert(row.path));
            };
        }
        const State before = state();
        const DeployResult result = deploy();
        fs.beforeCall = nullptr;
        ASSERT_FALSE(result);
        EXPECT_EQ(result.stop, row.named.empty() ? StopKind::Failed : StopKind::PackInvalid);
        EXPECT_TRUE(result.result.failure().text().ends_with(common::asciiToWide(row.named)))
            << std::string(testing::PrintToString(result.result.failure().text()));
        EXPECT_EQ(state(), before);
    }
}

// A record that cannot be read is refused whole: a cut last line, a digest
// or size not written as recorded, a path no item takes, an item missing or
// a file twice.
TEST_F(Deployment, ARecordThatCannotBeReadIsRefused) {
    const std::string d(64, 'a');
    const std::string whole = d + " 3 Database\\OrvDb.mdb\n" + d + " 9 Version.bin\n";
    ASSERT_TRUE(readPackRecord(whole));
    for (const std::string& text :
         {std::string(), whole.substr(0, whole.size() - 1), whole + "\n",
          whole + std::string(64, 'A') + " 1 Events\\Events\\a\n",
          whole + d + " -1 Events\\Events\\a\n", whole + d + " 1x Events\\Events\\a\n",
          whole + d + "  1 Events\\Events\\a\n", whole + d + " 1 Events\\Events\\\n",
          whole + d + " 1 Events\\other\n",
          whole + d + " 1 Events\\Events\\a\r\n" + d + " 1 Events\\Events\\b\n",
          whole + d + " 99999999999999999999 Events\\Events\\a\n",
          whole.substr(whole.find('\n') + 1), whole + d + " 3 Database\\OrvDb.mdb\n",
          whole + d + " 1 Events\\Events\\a\n" + d + " 2 Events\\Events\\a\n"}) {
        EXPECT_FALSE(readPackRecord(text)) << text;
    }
}

}  // namespace
