#pragma once

#include <functional>
#include <optional>
#include <string>

namespace update {

// File operations the install step needs. Every method reports failure by
// returning false and must leave no effect it cannot describe: a failed
// copy may leave a partial destination, which the caller cleans up.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual bool fileExists(const std::string& path) = 0;
    virtual bool folderExists(const std::string& path) = 0;
    virtual bool deleteFolder(const std::string& path) = 0;
    virtual bool deleteFile(const std::string& path) = 0;
    virtual bool createFolder(const std::string& path) = 0;
    // Copies the contents of src into the existing folder dst.
    virtual bool copyFolder(const std::string& src, const std::string& dst) = 0;
    virtual bool copyFile(const std::string& src, const std::string& dst, bool overwrite) = 0;
    // Renames a file or folder; dst must not exist.
    virtual bool rename(const std::string& src, const std::string& dst) = 0;
    // True when the file could be opened exclusively (nobody holds it).
    virtual bool canOpenExclusively(const std::string& path) = 0;
    // True when every file, folder and link in the folder tree could be
    // opened for deletion with no sharing, so removing the tree later cannot
    // stop half way on something another program holds.
    virtual bool canRemoveAll(const std::string& folder) = 0;
    // Returns once the file, or every file in the folder tree, is on disk.
    virtual bool flush(const std::string& path) = 0;

    // The journal: a small file read whole, and appended to a line at a
    // time. An append creates the file hidden if it is missing and returns
    // once the text is on disk.
    virtual std::optional<std::string> readFile(const std::string& path) = 0;
    virtual bool appendDurably(const std::string& path, const std::string& text) = 0;
};

class RegistryRecord {
public:
    virtual ~RegistryRecord() = default;
    virtual bool setInstalledVersion(const std::string& version) = 0;
};

enum class DeploymentResult { Success, Failed };

struct DeploymentPaths {
    std::string sourceEvents;
    std::string sourceDatabase;
    std::string targetEvents;
    std::string targetDatabase;
    std::string versionFile;
};

// Plain concatenation: callers pass folders without trailing separator.
DeploymentPaths makeDeploymentPaths(const std::string& mediaFolder, const std::string& installPath);

// Returns the version text of the file, or nullopt if it cannot be read.
using VersionReader = std::function<std::optional<std::string>(const std::string& path)>;
// Returns true when the version may be installed.
using VersionValidator = std::function<bool(const std::string& version)>;

// Completes an install run that was cut off (killed, power cut) by the
// journal it left in the installation folder: a run cut off before its
// commit point is undone, one cut off after it is finished. True when there
// was nothing to complete or it is complete; on false the journal stays
// for the next attempt.
bool completeInterruptedInstall(FileSystem& fs, RegistryRecord& registry,
                                const std::string& installPath);

// Completes an interrupted run first, then replaces the installation's
// Events folder and database with the media's and records the version.
// All or nothing, even when the process is killed at any moment: the next
// run's completion of the journal leaves the installation as it was found
// or fully installed.
DeploymentResult deployServicePack(FileSystem& fs, RegistryRecord& registry,
                                   const std::string& mediaFolder, const std::string& installPath,
                                   const VersionReader& readVersion,
                                   const VersionValidator& validate);

}  // namespace update
