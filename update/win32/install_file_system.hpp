#pragma once

#include "core/deployment.hpp"
#include "win32/pack_digests.hpp"

#include "common/core/failure.hpp"
#include "common/win32/com.hpp"

#include <optional>
#include <string>
#include <vector>

namespace update {

// The install step's file operations on the live system. Existence checks
// and copies go through Scripting.FileSystemObject, the operations the
// object has; renames, claims, removals, permissions, the exclusive-open
// check, identities and the lock are plain Win32 calls, which can be made
// through handles and without following links. A failed existence check is
// traced and answers false.
class InstallFileSystem : public FileSystem {
public:
    // Creates the scripting object; COM must be initialised on this thread.
    InstallFileSystem();

    // Success, or why the scripting object could not be created.
    const common::Result<>& created() const { return created_; }

    bool fileExists(const std::string& path) override;
    bool folderExists(const std::string& path) override;
    Result remove(const std::string& path, const std::string& identity) override;
    Result claim(const std::string& path, bool folder,
                 const std::function<Result(const std::string& identity)>& keep) override;
    Result copyFolder(const std::string& src, const std::string& dst) override;
    Result copyFile(const std::string& src, const std::string& dst, bool overwrite) override;
    Result rename(const std::string& src, const std::string& dst) override;
    Result inheritPermissions(const std::string& path, const std::string& identity) override;
    common::Result<std::string> identify(const std::string& path) override;
    Result canOpenExclusively(const std::string& path) override;
    Result canRemoveAll(const std::string& folder) override;
    Result flush(const std::vector<std::string>& paths) override;
    common::Result<std::vector<std::vector<PackFile>>> contents(
        const std::vector<std::string>& paths) override {
        return listWithDigests(paths);
    }
    common::Result<std::unique_ptr<InstallationLock>> lockInstallation(
        const std::string& folder) override;

private:
    using Arguments = std::vector<common::win32::unique_variant>;

    // Calls a method of the object by name, arguments in their natural order.
    Result call(const wchar_t* method, Arguments args, common::win32::unique_variant& result);
    bool callIsTrue(const wchar_t* method, const std::string& path);

    common::win32::com_ptr<IDispatch> fso_;
    common::Result<> created_;
};

}  // namespace update
