#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/core/failure.hpp"

namespace update {

// One setup's hold on an installation folder, released when it is destroyed
// and by the system when the process ends, however it ends.
class InstallationLock {
public:
    virtual ~InstallationLock() = default;
};

// A file as a listing names it: its path under the folder listed (empty for
// a file listed alone), its size and its SHA-256 in lower-case hex.
struct PackFile {
    std::string path;
    std::uint64_t size = 0;
    std::string sha256;
    bool operator==(const PackFile&) const = default;
};

// File operations the install step needs. A failed operation must leave no
// effect it cannot describe: a failed copy may leave a partial destination,
// which the caller cleans up. The installation folder may be writable by
// users, so what the step removes or changes there is named by path and
// identity together, and acted on only while it is still that item.
class FileSystem {
public:
    using Result = common::Result<>;

    virtual ~FileSystem() = default;
    virtual bool fileExists(const std::string& path) = 0;
    virtual bool folderExists(const std::string& path) = 0;
    // Removes the file, or the folder with everything in it, while it is the
    // item of that identity; links inside go as links, never followed.
    virtual Result remove(const std::string& path, const std::string& identity) = 0;
    // Claims the name with an empty folder or file that only administrators
    // may change, made where nothing is (failing when the name is taken),
    // and keeps it only when `keep` accepts its identity; until then it
    // goes again with the process, however that ends. So nothing the
    // process made is ever left out of the journal.
    virtual Result claim(const std::string& path, bool folder,
                         const std::function<Result(const std::string& identity)>& keep) = 0;
    // Copies the contents of src into the existing folder dst.
    virtual Result copyFolder(const std::string& src, const std::string& dst) = 0;
    virtual Result copyFile(const std::string& src, const std::string& dst, bool overwrite) = 0;
    // Renames a file or folder, returning once the rename is on disk; fails
    // when dst is taken.
    virtual Result rename(const std::string& src, const std::string& dst) = 0;
    // Gives the item of that identity, and all in it, the permissions it
    // inherits where it lies, as if it had been made there.
    virtual Result inheritPermissions(const std::string& path, const std::string& identity) = 0;
    // What is at the path as an identity that stays with it when it is
    // renamed; empty when nothing is there.
    virtual common::Result<std::string> identify(const std::string& path) = 0;
    // Succeeds when the file could be opened exclusively (nobody holds it).
    virtual Result canOpenExclusively(const std::string& path) = 0;
    // Succeeds when every file, folder and link in the folder tree could be
    // opened for deletion with no sharing, so removing the tree later cannot
    // stop half way on something another program holds.
    virtual Result canRemoveAll(const std::string& folder) = 0;
    // For each path, in their order, every file in the folder tree there or
    // the file alone (with an empty path), or nothing when nothing is there:
    // each with its size and SHA-256 as read back from the disk, in no
    // particular order. Given together, the files can be read together. A
    // link in a tree fails the listing.
    virtual common::Result<std::vector<std::vector<PackFile>>> contents(
        const std::vector<std::string>& paths) = 0;
    // Returns once every file named, and every file in the folder trees
    // named, is on disk: one barrier for them all.
    virtual Result flush(const std::vector<std::string>& paths) = 0;
    // Holds the installation folder for one setup at a time. Gives no lock
    // (null) while another setup holds it: nothing is wrong, and the caller
    // may try again later. Fails when the folder cannot be held, or is not
    // safe to work in.
    virtual common::Result<std::unique_ptr<InstallationLock>> lockInstallation(
        const std::string& folder) = 0;
};

// Where the install keeps its journals: a place only administrators can
// change, away from the installation folder, which users may write. A
// journal is a text under the run's id, made for one installation folder;
// each write replaces the text whole and returns once it is on disk.
class JournalStore {
public:
    using Result = common::Result<>;

    virtual ~JournalStore() = default;
    // The ids of the journals made for the folder. Fails when the place
    // may have been changed by someone else.
    virtual common::Result<std::vector<std::string>> journalsOf(const std::string& folder) = 0;
    virtual common::Result<std::string> read(const std::string& id) = 0;
    // Fails when a journal of that id exists.
    virtual Result create(const std::string& id, const std::string& folder,
                          const std::string& text) = 0;
    virtual Result write(const std::string& id, const std::string& text) = 0;
    virtual Result remove(const std::string& id) = 0;
};

class RegistryRecord {
public:
    virtual ~RegistryRecord() = default;
    virtual common::Result<std::string> installedVersion() = 0;
    // Succeeds once the version is stored and on disk. A failure may still
    // have stored it.
    virtual common::Result<> setInstalledVersion(const std::string& version) = 0;
};

struct DeploymentPaths {
    std::string sourceEvents;
    std::string sourceDatabase;
    std::string targetEvents;
    std::string targetDatabase;
    std::string versionFile;
};

// Plain concatenation: callers pass folders without trailing separator.
DeploymentPaths makeDeploymentPaths(const std::string& mediaFolder, const std::string& installPath);

// The longest version the registry record reads back whole (its read
// buffer, less the terminating NUL): a longer one is refused.
inline constexpr std::size_t versionLimit = 254;

// Returns the version text of the file.
using VersionReader = std::function<common::Result<std::string>(const std::string& path)>;
// Returns true when the version may be installed.
using VersionValidator = std::function<bool(const std::string& version)>;

// Why a failed install step stopped, for callers that tell the stops apart.
enum class StopKind {
    Failed,            // what went wrong is in the failure
    InstallationHeld,  // the installation could not be locked; nothing changed
    PackRefused,       // the pack's version may not be installed; nothing changed
    PackInvalid,       // the media do not hold the pack the program records; nothing changed
};

// The install step's result and, when it failed, the kind of its stop.
struct [[nodiscard]] DeployResult {
    DeployResult(common::Result<> result = {}, StopKind stop = StopKind::Failed)
        : result(std::move(result)), stop(stop) {}
    DeployResult(common::Failure failure, StopKind stop = StopKind::Failed)
        : result(std::move(failure)), stop(stop) {}
    explicit operator bool() const { return static_cast<bool>(result); }

    common::Result<> result;
    StopKind stop;
    // Runs cut off earlier were completed first, so the installation may
    // have changed even though this run stopped.
    bool completedEarlierRuns = false;
};

struct PackRecord;

// Replaces the installation's Events folder and database with the media's
// and records the version, all or nothing, even when the process is killed
// or the power fails at any moment. It holds the installation for the whole
// step, so it never meets another setup at work there. It first completes
// the runs a journal shows were cut off, each as its journal's marks decide
// (install_journal.hpp). A write that fails may still have reached the
// disk, so before the run acts against what such a line would make a later
// run do, it notes that it does; when it cannot, it stops and leaves the
// run to the next one. It touches only what it made itself, proven by
// identity, and never a name it found taken. Before the first live item is
// set aside, the staged copies and the version file must prove to be the
// pack the record names (pack_record.hpp); without a record they are taken
// as they are. Fails with what stopped it; what it went on past is traced.
DeployResult deployServicePack(FileSystem& fs, JournalStore& journals, RegistryRecord& registry,
                               const std::string& mediaFolder, const std::string& installPath,
                               const std::string& runId, const VersionReader& readVersion,
                               const VersionValidator& validate, const PackRecord* pack);

}  // namespace update
