#include <gtest/gtest.h>

#include <map>
#include <set>

#include "core/deployment.hpp"

using namespace update;

namespace {

// In-memory tree: a path maps to nullopt for a folder or to file content.
// Every changing call is numbered; the one numbered failAt fails, and a
// failed copy leaves a partial result behind as a real disk could. Queries
// are not numbered: a false answer there is a different tree, not a fault,
// and those paths are covered by the precondition test.
class FakeFileSystem : public FileSystem {
public:
    using Tree = std::map<std::string, std::optional<std::string>>;
    Tree tree;
    std::set<std::string> locked;
    int failAt = -1;
    int calls = 0;

    void folder(const std::string& p) { tree[p] = std::nullopt; }
    void file(const std::string& p, const std::string& c) { tree[p] = c; }

    bool fileExists(const std::string& p) override { return isFile(p); }
    bool folderExists(const std::string& p) override { return isFolder(p); }
    bool deleteFolder(const std::string& p) override {
        if (!tick() || !isFolder(p)) return false;
        eraseTree(p);
        return true;
    }
    bool deleteFile(const std::string& p) override {
        if (!tick() || !isFile(p)) return false;
        tree.erase(p);
        return true;
    }
    bool createFolder(const std::string& p) override {
        if (!tick() || tree.count(p) || !isFolder(parent(p))) return false;
        folder(p);
        return true;
    }
    bool copyFolder(const std::string& src, const std::string& dst) override {
        const bool ok = tick();
        if (!isFolder(src) || !isFolder(dst)) return false;
        const std::string prefix = src + "\\";
        int copied = 0;
        for (const auto& [path, content] : Tree(tree)) {
            if (path.rfind(prefix, 0) != 0) continue;
            if (!ok && copied++ > 0) return false;  // partial copy, then fail
            tree[dst + path.substr(src.size())] = content;
        }
        return ok;
    }
    bool copyFile(const std::string& src, const std::string& dst, bool overwrite) override {
        const bool ok = tick();
        if (!isFile(src) || isFolder(dst) || !isFolder(parent(dst))) return false;
        if (isFile(dst) && !overwrite) return false;
        tree[dst] = ok ? *tree[src] : std::string("partial");
        return ok;
    }
    bool rename(const std::string& src, const std::string& dst) override {
        if (!tick() || !tree.count(src) || tree.count(dst) || !isFolder(parent(dst))) return false;
        Tree moved;
        for (const auto& [path, content] : tree)
            if (path == src || path.rfind(src + "\\", 0) == 0)
                moved[dst + path.substr(src.size())] = content;
        eraseTree(src);
        tree.insert(moved.begin(), moved.end());
        return true;
    }
    bool canOpenExclusively(const std::string& p) override { return isFile(p) && !locked.count(p); }

private:
    bool tick() { return calls++ != failAt; }
    bool isFile(const std::string& p) const {
        auto it = tree.find(p);
        return it != tree.end() && it->second.has_value();
    }
    bool isFolder(const std::string& p) const {
        auto it = tree.find(p);
        return it != tree.end() && !it->second.has_value();
    }
    static std::string parent(const std::string& p) { return p.substr(0, p.rfind('\\')); }
    void eraseTree(const std::string& p) {
        for (auto it = tree.begin(); it != tree.end();)
            it = (it->first == p || it->first.rfind(p + "\\", 0) == 0) ? tree.erase(it)
                                                                       : std::next(it);
    }
};

class FakeRegistry : public RegistryRecord {
public:
    std::string version = "1.8.2";
    bool fail = false;
    bool setInstalledVersion(const std::string& v) override {
        if (fail) return false;
        version = v;
        return true;
    }
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

    FakeFileSystem fs;
    FakeRegistry registry;
    std::optional<std::string> version = "1.9.0";
    std::string validated;
    bool allowed = true;
};

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

TEST_F(Deployment, EveryFailingOperationLeavesInstallationUnchanged) {
    ASSERT_EQ(run(), DeploymentResult::Success);
    const int total = fs.calls;
    for (int i = 0; i < total; ++i) {
        fs = FakeFileSystem();
        SetUp();
        registry.version = "1.8.2";
        const auto before = fs.tree;
        fs.calls = 0;
        fs.failAt = i;
        const auto result = run();
        if (result == DeploymentResult::Failed) {
            EXPECT_EQ(fs.tree, before) << "failing operation " << i;
            EXPECT_EQ(registry.version, "1.8.2") << "failing operation " << i;
        } else {
            // Only the clean-up of the old copies may fail after commit.
            EXPECT_GE(i, total - 2) << "failing operation " << i;
            EXPECT_EQ(fs.tree["I:\\Database\\OrvDb.mdb"], "new-db");
        }
    }
}

TEST_F(Deployment, RegistryFailureRollsBackFiles) {
    registry.fail = true;
    const auto before = fs.tree;
    EXPECT_EQ(run(), DeploymentResult::Failed);
    EXPECT_EQ(fs.tree, before);
}

TEST_F(Deployment, PreconditionsFailBeforeAnyChange) {
    const auto before = fs.tree;
    allowed = false;
    EXPECT_EQ(run(), DeploymentResult::Failed);
    allowed = true;
    version.reset();  // unreadable version file
    EXPECT_EQ(run(), DeploymentResult::Failed);
    version = "1.9.0";
    fs.locked.insert("I:\\Database\\OrvDb.mdb");
    EXPECT_EQ(run(), DeploymentResult::Failed);
    fs.locked.clear();
    fs.tree.erase("I:\\Database\\OrvDb.mdb");
    EXPECT_EQ(run(), DeploymentResult::Failed);
    auto expected = before;
    expected.erase("I:\\Database\\OrvDb.mdb");
    EXPECT_EQ(fs.tree, expected);
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
