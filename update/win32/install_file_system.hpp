#pragma once

#include "core/deployment.hpp"
#include "win32/folder_walk.hpp"

#include "common/core/failure.hpp"
#include "common/win32/com.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace update {

struct InstallationHold;

// The install step's file operations on the live system. The existence
// checks go through Scripting.FileSystemObject (by path: they change
// nothing); everything else is plain Win32 calls through handles. While
// lockInstallation's lock lives, a path in the installation folder, or in
// its Database folder, is looked up by its name under that held folder, so
// a link swapped in on the way, or the folder renamed away, never leads an
// operation elsewhere; paths elsewhere (the media) are opened by path. A
// claimed item stays held until it is renamed (goes live) or removed. A
// failed existence check is traced and answers false.
class InstallFileSystem : public FileSystem {
public:
    // Creates the scripting object; COM must be initialised on this thread.
    InstallFileSystem();
    ~InstallFileSystem() override;

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
    // Read through the handles the install holds, for the pack's proof.
    common::Result<std::vector<std::vector<PackFile>>> contents(
        const std::vector<std::string>& paths) override;
    // Null while another setup holds the installation.
    common::Result<std::unique_ptr<InstallationLock>> lockInstallation(
        const std::string& folder) override;

    // For tests: called between each check and the step that relies on it,
    // with the step's name ("hold", "copy", "rename", "remove",
    // "permissions"). Null in the program.
    std::function<void(const std::string& step)> betweenCheckAndUse;

private:
    using Arguments = std::vector<common::win32::UniqueVariant>;
    struct Place;

    // Calls a method of the object by name, arguments in their natural order.
    Result call(const wchar_t* method, Arguments args, common::win32::UniqueVariant& result);
    bool callIsTrue(const wchar_t* method, const std::string& path);

    // The held folder the item at the path is looked up in, and its name.
    common::Result<Place> placeOf(const std::string& path);
    common::Result<HeldItem> open(const std::string& path, const ItemOpen& how);
    // The claim kept for the path, if any.
    const HeldItem* claimed(const std::string& path);
    void forget(const std::wstring& path);
    void beforeUse(const char* step) const;

    common::win32::ComPtr<IDispatch> fso_;
    common::Result<> created_;
    InstallationHold* hold_ = nullptr;                       // while the lock lives
    std::vector<std::pair<std::wstring, HeldItem>> claims_;  // by full path
};

}  // namespace update
