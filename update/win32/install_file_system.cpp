#include "win32/install_file_system.hpp"

#include "win32/durable_files.hpp"

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

FileSystem::Result InstallFileSystem::deleteFolder(const std::string& path) {
    // The scripting object's DeleteFolder descends into linked folders and
    // deletes what they point to; the tree is removed here without following.
    const std::wstring folder = ansiToWide(path);
    const auto identity = fileIdentity(folder);
    if (!identity) return identity.failure();
    return removeOwnItem(folder, *identity);
}

FileSystem::Result InstallFileSystem::deleteFile(const std::string& path) {
    Arguments args;
    args.push_back(unique_variant::text(ansiToWide(path)));
    args.push_back(unique_variant::boolean(true));
    unique_variant result;
    if (auto deleted = call(L"DeleteFile", std::move(args), result); !deleted) return deleted;
    if (!fileExists(path)) return {};
    return common::stopFailure(L"DeleteFile", L"reported success, but the file is still there");
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

common::Result<std::string> InstallFileSystem::identify(const std::string& path) {
    return fileIdentity(ansiToWide(path));
}

FileSystem::Result InstallFileSystem::canOpenExclusively(const std::string& path) {
    const std::wstring file = ansiToWide(path);
    const common::win32::unique_hfile opened(CreateFileW(
        file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!opened) return FAILED_CALL(CreateFileW).about(file);
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

common::Result<std::string> InstallFileSystem::readFile(const std::string& path) {
    return readSmallFile(ansiToWide(path));
}

FileSystem::Result InstallFileSystem::writeDurably(const std::string& path, std::size_t offset,
                                                   const std::string& text) {
    return update::writeDurably(ansiToWide(path), offset, text);
}

common::Result<std::unique_ptr<InstallationLock>> InstallFileSystem::lockInstallation(
    const std::string& folder) {
    auto file = holdLockFile(ansiToWide(folder).append(L"\\").append(kLockLeaf));
    if (!file) return file.failure();
    return std::unique_ptr<InstallationLock>(std::make_unique<HeldLock>(std::move(*file)));
}

}  // namespace update
