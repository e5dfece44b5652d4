#pragma once

#include "core/deployment.hpp"

#include "common/core/failure.hpp"
#include "common/win32/com.hpp"

#include <optional>
#include <string>
#include <vector>

namespace update {

// The install step's file operations on the live system. Existence checks,
// copies and file deletion go through Scripting.FileSystemObject, the
// operations the object has; renames, claims, the exclusive-open check, the
// removal of a folder tree, identities, the lock and the journal are plain
// Win32 calls. Every failure is traced with the call that failed before it
// becomes a false result.
class InstallFileSystem : public FileSystem {
public:
    // Creates the scripting object; COM must be initialised on this thread.
    InstallFileSystem();

    // Success, or why the scripting object could not be created.
    const common::Result<>& created() const { return created_; }

    bool fileExists(const std::string& path) override;
    bool folderExists(const std::string& path) override;
    bool deleteFolder(const std::string& path) override;
    bool deleteFile(const std::string& path) override;
    bool claim(const std::string& path, bool folder,
               const std::function<bool(const std::string& identity)>& keep) override;
    bool copyFolder(const std::string& src, const std::string& dst) override;
    bool copyFile(const std::string& src, const std::string& dst, bool overwrite) override;
    bool rename(const std::string& src, const std::string& dst) override;
    std::optional<std::string> identify(const std::string& path) override;
    bool canOpenExclusively(const std::string& path) override;
    bool canRemoveAll(const std::string& folder) override;
    bool flush(const std::string& path) override;
    std::unique_ptr<InstallationLock> lockInstallation(const std::string& folder) override;
    std::optional<std::string> readFile(const std::string& path) override;
    bool writeDurably(const std::string& path, std::size_t offset,
                      const std::string& text) override;

private:
    using Arguments = std::vector<common::win32::unique_variant>;

    // Calls a method of the object by name, arguments in their natural order.
    common::Result<> call(const wchar_t* method, Arguments& args,
                          common::win32::unique_variant& result);
    bool callSucceeds(const wchar_t* method, Arguments args);
    bool callIsTrue(const wchar_t* method, const std::string& path);

    common::win32::com_ptr<IDispatch> fso_;
    common::Result<> created_;
};

}  // namespace update
