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

// Replaces the installation's Events folder and database with the media's
// and records the version. All or nothing: on failure the installation is
// left as it was found.
DeploymentResult deployServicePack(FileSystem& fs, RegistryRecord& registry,
                                   const std::string& mediaFolder, const std::string& installPath,
                                   const VersionReader& readVersion,
                                   const VersionValidator& validate);

}  // namespace update
