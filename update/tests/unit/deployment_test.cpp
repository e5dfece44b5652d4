#include <gtest/gtest.h>

#include <map>
#include <set>

#include "core/deployment.hpp"

using namespace update;

namespace {

// The power going off: the fake stops where it stands and undoes nothing.
struct PowerCut {};

enum class Fault { Error, Crash };

// In-memory tree: a path maps to nullopt for a folder or to file content.
// Every changing call, the registry's included, is numbered; the one
// numbered faultAt fails or cuts the power. A copy, a tree removal or an
// append hit that way stops part way, as on a real disk, and a cut loses
// what was written but not flushed. Queries are not numbered: a false
// answer there is a different tree, not a fault, and those paths are
// covered by the precondition test.
class FakeFileSystem : public FileSystem {
public:
    using Tree = std::map<std::string, std::optional<std::string>>;
    Tree tree;
    std::set<std::string> locked;
    std::set<std::string> unflushed;
    Fault fault = Fault::Error;
    int faultAt = -1;
    int calls = 0;

    void folder(const std::string& p) { tree[p] = std::nullopt; }
    void file(const std::string& p, const std::string& c) { tree[p] = c; }

    // True when the call goes ahead whole.
    bool next() { return calls++ != faultAt; }
    // The result of a call that went ahead (whole or in part).
    bool settle(bool whole) {
        if (whole) return true;
        if (fault == Fault::Crash) {
            for (const auto& p : unflushed)
                if (isFile(p)) tree[p] = "lost";
            unflushed.clear();
            throw PowerCut{};
        }
        return false;
    }

    bool fileExists(const std::string& p) override { return isFile(p); }
    bool folderExists(const std::string& p) override { return isFolder(p); }
    bool deleteFolder(const std::string& p) override {
        const bool whole = next();
        if (!isFolder(p)) return false;
        for (const auto& path : under(p)) {
            tree.erase(path);
            if (!whole) break;
        }
        if (whole) tree.erase(p);
        return settle(whole);
    }
    bool deleteFile(const std::string& p) override {
        if (!next()) return settle(false);
        return isFile(p) && tree.erase(p);
    }
    bool createFolder(const std::string& p) override {
        if (!next()) return settle(false);
        if (tree.count(p) || !isFolder(parent(p))) return false;
        folder(p);
        return true;
    }
    bool copyFolder(const std::string& src, const std::string& dst) override {
        const bool whole = next();
        if (!isFolder(src) || !isFolder(dst)) return false;
        for (const auto& path : under(src)) {
            const std::string to = dst + path.substr(src.size());
            tree[to] = tree[path];
            if (tree[to]) unflushed.insert(to);
            if (!whole) break;
        }
        return settle(whole);
    }
    bool copyFile(const std::string& src, const std::string& dst, bool overwrite) override {
        const bool whole = next();
        if (!isFile(src) || isFolder(dst) || !isFolder(parent(dst))) return false;
        if (isFile(dst) && !overwrite) return false;
        tree[dst] = whole ? *tree[src] : std::string("partial");
        unflushed.insert(dst);
        return settle(whole);
    }
    bool rename(const std::string& src, const std::string& dst) override {
        if (!next()) return settle(false);
        if (!tree.count(src) || tree.count(dst) || !isFolder(parent(dst))) return false;
        for (auto path : under(src)) {
            const std::string to = dst + path.substr(src.size());
            tree[to] = tree[path];
            tree.erase(path);
            if (unflushed.erase(path)) unflushed.insert(to);
        }
        tree[dst] = tree[src];
        tree.erase(src);
        if (unflushed.erase(src)) unflushed.insert(dst);
        return true;
    }
    bool canOpenExclusively(const std::string& p) override { return isFile(p) && !locked.count(p); }
    bool canRemoveAll(const std::string& p) override {
        for (const auto& path : under(p))
            if (locked.count(path)) return false;
        return isFolder(p);
    }
    bool flush(const std::string& p) override {
        if (!next()) return settle(false);
        unflushed.erase(p);
        for (const auto& path : under(p)) unflushed.erase(path);
        return tree.count(p);
    }
    std::optional<std::string> readFile(const std::string& p) override {
        return isFile(p) ? tree[p] : std::nullopt;
    }
    bool appendDurably(const std::string& p, const std::string& text) override {
        const bool whole = next();
        if (isFolder(p) || !isFolder(parent(p))) return false;
        auto& content = tree[p];
        content = content.value_or("") + (whole ? text : text.substr(0, text.size() / 2));
        return settle(whole);
    }

private:
    bool isFile(const std::string& p) const { return tree.contains(p) && tree.at(p); }
    bool isFolder(const std::string& p) const { return tree.contains(p) && !tree.at(p); }
    static std::string parent(const std::string& p) { return p.substr(0, p.rfind('\\')); }
    std::vector<std::string> under(const std::string& p) const {
        std::vector<std::string> paths;
        for (const auto& [path, content] : tree)
            if (path.rfind(p + "\\", 0) == 0) paths.push_back(path);
        return paths;
    }
};

class FakeRegistry : public RegistryRecord {
public:
    explicit FakeRegistry(FakeFileSystem& fs) : fs_(fs) {}
    std::string version = "1.8.2";
    bool setInstalledVersion(const std::string& v) override {
        if (!fs_.next()) return fs_.settle(false);
        version = v;
        return true;
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
    }

    DeploymentResult run() {
        return deployServicePack(
            fs, registry, "M:", "I:", [this](const std::string&) { return version; },
            [this](const std::string& v) {
                validated = v;
                return allowed;
            });
    }

    // Everything a run may change: the files of both folders and the record.
    using State = std::pair<FakeFileSystem::Tree, std::string>;
    State state() const { return {fs.tree, registry.version}; }

    FakeFileSystem fs;
    FakeRegistry registry{fs};
    std::optional<std::string> version = "1.9.0";
    std::string validated;
    bool allowed = true;
};

std::string names(const FakeFileSystem::Tree& tree) {
    std::string text;
    for (const auto& [path, content] : tree) text += path + "=" + content.value_or("/") + " ";
    return text;
}

TEST_F(Deployment, SuccessMirrorsMediaAndRecordsVersion) {
    ASSERT_EQ(run(), DeploymentResult::Success);
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

// Each changing call in turn fails or has the power cut under it. The next
// run's completion of the journal, itself cut off at each of its calls in
// turn and then run again, leaves the installation and the record exactly
// as before the run or as after a whole install: nothing else, no stray
// name. A failure the run reports has been undone at once.
TEST_F(Deployment, CutOffAnywhereEndsAsBeforeOrInstalled) {
    const State before = state();
    ASSERT_EQ(run(), DeploymentResult::Success);
    const State installed = state();
    const int calls = fs.calls;

    for (const Fault fault : {Fault::Error, Fault::Crash}) {
        for (int at = 0; at < calls; ++at) {
            SCOPED_TRACE((fault == Fault::Crash ? "power cut at call " : "failure of call ") +
                         std::to_string(at));
            fs = FakeFileSystem();
            SetUp();
            registry.version = before.second;
            fs.fault = fault;
            fs.faultAt = at;
            std::optional<DeploymentResult> result;
            try {
                result = run();
            } catch (const PowerCut&) {
            }
            ASSERT_EQ(result.has_value(), fault == Fault::Error);
            if (result == DeploymentResult::Failed) {
                EXPECT_EQ(state(), before);
            }

            const FakeFileSystem cutOff = fs;
            const std::string cutOffVersion = registry.version;
            for (int again = 0;; ++again) {
                fs = cutOff;
                registry.version = cutOffVersion;
                fs.fault = Fault::Crash;
                fs.faultAt = again;
                fs.calls = 0;
                bool cut = false;
                try {
                    EXPECT_TRUE(completeInterruptedInstall(fs, registry, "I:"));
                } catch (const PowerCut&) {
                    cut = true;
                }
                fs.faultAt = -1;
                EXPECT_TRUE(completeInterruptedInstall(fs, registry, "I:"));
                const State after = state();
                EXPECT_TRUE(after == before || after == installed)
                    << "completion cut at call " << again << ": " << names(after.first)
                    << after.second;
                if (result == DeploymentResult::Success) {
                    EXPECT_EQ(after, installed);
                }
                if (!cut) break;
            }
        }
    }
}

// Users may write where the journal lies, and the program removes what it
// names with its own rights: anything but its own copies changes nothing.
TEST_F(Deployment, AJournalNamingAnythingElseChangesNothing) {
    for (const char* journal :
         {"stage-events Events\r\n", "stage-database ..\\other.txt\r\n",
          "aside-events other.txt\r\ncommit 1.9.0\r\n", "stage-events Events.new\\..\r\n",
          "aside-database OrvDb.mdb.old123\r\ncommit 1.9.0\r\n"}) {
        SCOPED_TRACE(journal);
        fs = FakeFileSystem();
        SetUp();
        fs.file("I:\\Update.journal", journal);
        const State before = state();
        EXPECT_FALSE(completeInterruptedInstall(fs, registry, "I:"));
        EXPECT_EQ(state(), before);
    }
}

TEST_F(Deployment, PreconditionsFailBeforeAnyChange) {
    const auto before = fs.tree;
    allowed = false;
    EXPECT_EQ(run(), DeploymentResult::Failed);
    allowed = true;
    version.reset();  // unreadable version file
    EXPECT_EQ(run(), DeploymentResult::Failed);
    version = "1.9.0";
    for (const char* held : {"I:\\Database\\OrvDb.mdb", "I:\\Events\\keep\\old.evt"}) {
        fs.locked = {held};
        EXPECT_EQ(run(), DeploymentResult::Failed) << held;
    }
    fs.locked.clear();
    fs.tree.erase("I:\\Database\\OrvDb.mdb");
    EXPECT_EQ(run(), DeploymentResult::Failed);
    auto expected = before;
    expected.erase("I:\\Database\\OrvDb.mdb");
    EXPECT_EQ(fs.tree, expected);
    EXPECT_EQ(fs.calls, 0);
}

TEST_F(Deployment, NoVersionFileDeploysWithoutValidationOrRegistry) {
    fs.tree.erase("M:\\Version.bin");
    EXPECT_EQ(run(), DeploymentResult::Success);
    EXPECT_EQ(validated, "");
    EXPECT_EQ(registry.version, "1.8.2");
}

TEST_F(Deployment, StagingNamesAvoidExistingEntries) {
    fs.file("I:\\Events.new", "user file");
    fs.folder("I:\\Events.old");
    EXPECT_EQ(run(), DeploymentResult::Success);
    EXPECT_EQ(fs.tree["I:\\Events.new"], "user file");
    EXPECT_TRUE(fs.tree.count("I:\\Events.old"));
    EXPECT_EQ(fs.tree["I:\\Events\\a.evt"], "new-a");
}

}  // namespace
