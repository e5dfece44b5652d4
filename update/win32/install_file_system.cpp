#include "win32/install_file_system.hpp"

#include "win32/durable_files.hpp"
#include "win32/folder_walk.hpp"

#include "common/core/trace.hpp"
#include "common/win32/ansi_text.hpp"
#include "common/win32/failed_call.hpp"
#include "common/win32/unique_any.hpp"

#include <utility>

namespace update {
namespace {

using common::win32::ansiToWide;
using common::win32::unique_variant;

common::Result<> createScriptingObject(common::win32::com_ptr<IDispatch>& object) {
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(L"Scripting.FileSystemObject", &clsid);
    if (FAILED(hr)) return FAILED_HRESULT(CLSIDFromProgID, hr);
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(object.put()));
    if (FAILED(hr)) {
        object.reset();
        return FAILED_HRESULT(CoCreateInstance, hr);
    }
    return {};
}

constexpr wchar_t kLockLeaf[] = L"Update.exe-install.lock";

class HeldLock final : public InstallationLock {
public:
    explicit HeldLock(common::win32::unique_hfile file) : file_(std::move(file)) {}

private:
    common::win32::unique_hfile file_;
};

}  // namespace

InstallFileSystem::InstallFileSystem() : created_(createScriptingObject(fso_)) {}

FileSystem::Result InstallFileSystem::call(const wchar_t* method, Arguments args,
                                           unique_variant& result) {
    if (!fso_) return created_;
    for (const unique_variant& arg : args) {
        // A text that could not be allocated.
        if (!arg.has_value()) return FAILED_HRESULT(SysAllocStringLen, E_OUTOFMEMORY);
    }
    std::wstring name(method);
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    const HRESULT found = fso_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(found)) return FAILED_HRESULT(IDispatch::GetIDsOfNames, found).about(name);
    // IDispatch takes the arguments last to first.
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(it->get());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO error{};
    UINT badArgument = 0;
    const HRESULT hr = fso_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                    result.put(), &error, &badArgument);
    if (FAILED(hr)) return common::win32::invokeFailure(std::move(name), hr, error);
    return {};
}

bool InstallFileSystem::callIsTrue(const wchar_t* method, const std::string& path) {
    Arguments args;
    args.push_back(unique_variant::text(ansiToWide(path)));
    unique_variant result;
    if (auto called = call(method, std::move(args), result); !called) {
        common::trace(called.failure());
        return false;
    }
    const VARIANT& v = result.get();
    return v.vt == VT_BOOL && v.boolVal != VARIANT_FALSE;
}

bool InstallFileSystem::fileExists(const std::string& path) {
    return callIsTrue(L"FileExists", path);
}

bool InstallFileSystem::folderExists(const std::string& path) {
    return callIsTrue(L"FolderExists", path);
}

FileSystem::Result InstallFileSystem::remove(const std::string& path, const std::string& identity) {
    // Not the scripting object's DeleteFolder, which descends into linked
    // folders and deletes what they point to.
    return removeOwnItem(ansiToWide(path), identity);
}

FileSystem::Result InstallFileSystem::claim(
    const std::string& path, bool folder,
    const std::function<Result(const std::string& identity)>& keep) {
    return claimName(ansiToWide(path), folder, keep);
}

FileSystem::Result InstallFileSystem::copyFolder(const std::string& src, const std::string& dst) {
    Arguments args;
    args.push_back(unique_variant::text(ansiToWide(src)));
    args.push_back(unique_variant::text(ansiToWide(dst)));
    args.push_back(unique_variant::boolean(true));
    unique_variant result;
    return call(L"CopyFolder", std::move(args), result);
}

FileSystem::Result InstallFileSystem::copyFile(const std::string& src, const std::string& dst,
                                               bool overwrite) {
    Arguments args;
    args.push_back(unique_variant::text(ansiToWide(src)));
    args.push_back(unique_variant::text(ansiToWide(dst)));
    args.push_back(unique_variant::boolean(overwrite));
    unique_variant result;
    return call(L"CopyFile", std::move(args), result);
}

FileSystem::Result InstallFileSystem::rename(const std::string& src, const std::string& dst) {
    // The scripting object of some platforms lacks MoveFolder; without the
    // replace flag an existing destination makes this fail.
    return renameDurably(ansiToWide(src), ansiToWide(dst));
}

FileSystem::Result InstallFileSystem::inheritPermissions(const std::string& path,
                                                         const std::string& identity) {
    return update::inheritPermissions(ansiToWide(path), identity);
}

common::Result<std::string> InstallFileSystem::identify(const std::string& path) {
    return fileIdentity(ansiToWide(path));
}

FileSystem::Result InstallFileSystem::canOpenExclusively(const std::string& path) {
    // The item itself, a link as the link: that is what the install moves.
    const auto held = openItemAt(ansiToWide(path), {.access = GENERIC_READ, .share = 0});
    if (!held) return held.failure();
    return {};
}

FileSystem::Result InstallFileSystem::canRemoveAll(const std::string& folder) {
    return canRemoveTree(ansiToWide(folder));
}

FileSystem::Result InstallFileSystem::flush(const std::vector<std::string>& paths) {
    std::vector<std::wstring> wide;
    for (const std::string& path : paths) wide.push_back(ansiToWide(path));
    return flushToDisk(wide);
}

common::Result<std::unique_ptr<InstallationLock>> InstallFileSystem::lockInstallation(
    const std::string& folder) {
    auto file = holdLockFile(ansiToWide(folder).append(L"\\").append(kLockLeaf));
    // Another setup holds it: no lock, and nothing wrong.
    if (!file && file.failure().kind == common::ErrorKind::Win32 &&
        file.failure().code == ERROR_SHARING_VIOLATION)
        return std::unique_ptr<InstallationLock>();
    if (!file) return file.failure();
    return std::unique_ptr<InstallationLock>(std::make_unique<HeldLock>(std::move(*file)));
}

}  // namespace update
