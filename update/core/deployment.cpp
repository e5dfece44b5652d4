#include "core/deployment.hpp"

#include <vector>

namespace update {
namespace {

// Finds a name beside the target that is not taken, so staging never
// overwrites something the user keeps there.
std::optional<std::string> freeName(FileSystem& fs, const std::string& base) {
    for (int i = 0; i < 100; ++i) {
        std::string name = i == 0 ? base : base + std::to_string(i);
        if (!fs.fileExists(name) && !fs.folderExists(name)) return name;
    }
    return std::nullopt;
}

// Undo actions run in reverse order; each is best effort because nothing
// better can be done if restoring itself fails.
class UndoLog {
public:
    void add(std::function<void()> action) { actions_.push_back(std::move(action)); }
    void rollback() {
        for (auto it = actions_.rbegin(); it != actions_.rend(); ++it) (*it)();
        actions_.clear();
    }

private:
    std::vector<std::function<void()>> actions_;
};

}  // namespace

DeploymentPaths makeDeploymentPaths(const std::string& mediaFolder,
                                    const std::string& installPath) {
    return {mediaFolder + "\\Events\\Events", mediaFolder + "\\Database\\OrvDb.mdb",
            installPath + "\\Events", installPath + "\\Database\\OrvDb.mdb",
            mediaFolder + "\\Version.bin"};
}

DeploymentResult deployServicePack(FileSystem& fs, RegistryRecord& registry,
                                   const std::string& mediaFolder, const std::string& installPath,
                                   const VersionReader& readVersion,
                                   const VersionValidator& validate) {
    const DeploymentPaths p = makeDeploymentPaths(mediaFolder, installPath);

    std::string packVersion;
    if (fs.fileExists(p.versionFile)) {
        const auto read = readVersion(p.versionFile);
        if (!read) return DeploymentResult::Failed;
        packVersion = *read;
    }
    if (!packVersion.empty() && !validate(packVersion)) return DeploymentResult::Failed;

    // Every precondition is checked before the first change, so a missing
    // piece or a database in use fails with nothing touched.
    if (!fs.folderExists(p.sourceEvents) || !fs.folderExists(p.targetEvents) ||
        !fs.fileExists(p.sourceDatabase) || !fs.fileExists(p.targetDatabase) ||
        !fs.canOpenExclusively(p.targetDatabase)) {
        return DeploymentResult::Failed;
    }

    const auto stagedEvents = freeName(fs, p.targetEvents + ".new");
    const auto asideEvents = freeName(fs, p.targetEvents + ".old");
    const auto stagedDatabase = freeName(fs, p.targetDatabase + ".new");
    const auto asideDatabase = freeName(fs, p.targetDatabase + ".old");
    if (!stagedEvents || !asideEvents || !stagedDatabase || !asideDatabase) {
        return DeploymentResult::Failed;
    }

    UndoLog undo;
    auto fail = [&undo] {
        undo.rollback();
        return DeploymentResult::Failed;
    };

    // Staging: registered before the operation since a failed create or
    // copy may still leave something behind.
    undo.add([&] {
        if (fs.folderExists(*stagedEvents)) fs.deleteFolder(*stagedEvents);
    });
    if (!fs.createFolder(*stagedEvents)) return fail();
    if (!fs.copyFolder(p.sourceEvents, *stagedEvents)) return fail();

    undo.add([&] {
        if (fs.fileExists(*stagedDatabase)) fs.deleteFile(*stagedDatabase);
    });
    if (!fs.copyFile(p.sourceDatabase, *stagedDatabase, false)) return fail();

    // Swaps: renames are the only changes to the live installation.
    if (!fs.rename(p.targetEvents, *asideEvents)) return fail();
    undo.add([&] { fs.rename(*asideEvents, p.targetEvents); });
    if (!fs.rename(*stagedEvents, p.targetEvents)) return fail();
    undo.add([&] { fs.rename(p.targetEvents, *stagedEvents); });

    if (!fs.rename(p.targetDatabase, *asideDatabase)) return fail();
    undo.add([&] { fs.rename(*asideDatabase, p.targetDatabase); });
    if (!fs.rename(*stagedDatabase, p.targetDatabase)) return fail();
    undo.add([&] { fs.rename(p.targetDatabase, *stagedDatabase); });

    // The registry is written last so it never names files not in place.
    if (!packVersion.empty() && !registry.setInstalledVersion(packVersion)) return fail();

    // Committed. Removing the old copies cannot be undone against the
    // registry any more, so a failure here only leaves a stray aside copy.
    fs.deleteFolder(*asideEvents);
    fs.deleteFile(*asideDatabase);
    return DeploymentResult::Success;
}

}  // namespace update
