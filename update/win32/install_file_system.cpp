#include "win32/install_file_system.hpp"

#include "win32/durable_files.hpp"
#include "win32/remove_folder_tree.hpp"

#include "common/core/trace.hpp"
#include "common/win32/ansi_text.hpp"
#include "common/win32/unique_any.hpp"

#include <utility>

namespace update {
namespace {

using common::win32::ansiToWide;
using common::win32::unique_variant;

// The false result the install step sees; the trace keeps the cause.
bool succeeded(const common::Result<>& outcome) {
    if (!outcome) common::trace(outcome.failure());
    return static_cast<bool>(outcome);
}

common::Result<> createScriptingObject(common::win32::com_ptr<IDispatch>& object) {
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(L"Scripting.FileSystemObject", &clsid);
    if (FAILED(hr)) return common::hresultFailure(L"CLSIDFromProgID", hr);
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(object.put()));
    if (FAILED(hr)) {
        object.reset();
        return common::hresultFailure(L"CoCreateInstance", hr);
    }
    return common::Result<>();
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

common::Result<> InstallFileSystem::call(const wchar_t* method, Arguments& args,
                                         unique_variant& result) {
    if (!fso_) return created_;
    for (const unique_variant& arg : args) {
        // A text that could not be allocated.
        if (!arg.has_value()) return common::hresultFailure(L"SysAllocStringLen", E_OUTOFMEMORY);
    }
    std::wstring name(method);
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    const HRESULT found = fso_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(found)) return common::hresultFailure(L"GetIDsOfNames(" + name + L")", found);
    // IDispatch takes the arguments last to first.
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(it->get());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO error{};
    UINT badArgument = 0;
    const HRESULT hr = fso_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                    result.put(), &error, &badArgument);
    if (FAILED(hr)) return common::win32::invokeFailure(std::move(name), hr, error);
    return common::Result<>();
}

bool InstallFileSystem::callSucceeds(const wchar_t* method, Arguments args) {
    unique_variant result;
    return succeeded(call(method, args, result));
}

bool InstallFileSystem::callIsTrue(const wchar_t* method, const std::string& path) {
    Arguments args;
    args.push_back(unique_variant::text(ansiToWide(path)));
    unique_variant result;
    if (!succeeded(call(method, args, result))) return false;
    const VARIANT& v = result.get();
    return v.vt == VT_BOOL && v.boolVal != VARIANT_FALSE;
}

bool InstallFileSystem::fileExists(const std::string& path) {
    return callIsTrue(L"FileExists", path);
}

bool InstallFileSystem::folderExists(const std::string& path) {
    return callIsTrue(L"FolderExists", path);
}

bool InstallFileSystem::deleteFolder(const std::string& path) {
    // The scripting object's DeleteFolder descends into linked folders and
    // deletes what they point to; the tree is removed here without following.
    return removeFolderTree(ansiToWide(path));
}

bool InstallFileSystem::deleteFile(const std::string& path) {
    Arguments args;
    args.push_back(unique_variant::text(ansiToWide(path)));
    args.push_back(unique_variant::boolean(true));
    if (!callSucceeds(L"DeleteFile", std::move(args))) return false;
    if (!fileExists(path)) return true;
    common::trace(L"DeleteFile reported success but the file is still there");
    return false;
}

bool InstallFileSystem::claim(const std::string& path, bool folder,
                              const std::function<bool(const std::string& identity)>& keep) {
    return claimName(ansiToWide(path), folder, keep);
}

bool InstallFileSystem::copyFolder(const std::string& src, const std::string& dst) {
    Arguments args;
    args.push_back(unique_variant::text(ansiToWide(src)));
    args.push_back(unique_variant::text(ansiToWide(dst)));
    args.push_back(unique_variant::boolean(true));
    return callSucceeds(L"CopyFolder", std::move(args));
}

bool InstallFileSystem::copyFile(const std::string& src, const std::string& dst, bool overwrite) {
    Arguments args;
    args.push_back(unique_variant::text(ansiToWide(src)));
    args.push_back(unique_variant::text(ansiToWide(dst)));
    args.push_back(unique_variant::boolean(overwrite));
    return callSucceeds(L"CopyFile", std::move(args));
}

bool InstallFileSystem::rename(const std::string& src, const std::string& dst) {
    // The scripting object of some platforms lacks MoveFolder; without the
    // replace flag an existing destination makes this fail.
    return renameDurably(ansiToWide(src), ansiToWide(dst));
}

std::optional<std::string> InstallFileSystem::identify(const std::string& path) {
    return fileIdentity(ansiToWide(path));
}

bool InstallFileSystem::canOpenExclusively(const std::string& path) {
    const common::win32::unique_hfile file(CreateFileW(ansiToWide(path).c_str(), GENERIC_READ, 0,
                                                       nullptr, OPEN_EXISTING,
                                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return true;
    common::trace(common::win32Failure(L"CreateFileW", GetLastError()));
    return false;
}

bool InstallFileSystem::canRemoveAll(const std::string& folder) {
    return canRemoveTree(ansiToWide(folder));
}

bool InstallFileSystem::flush(const std::string& path) { return flushToDisk(ansiToWide(path)); }

std::optional<std::string> InstallFileSystem::readFile(const std::string& path) {
    return readSmallFile(ansiToWide(path));
}

bool InstallFileSystem::writeDurably(const std::string& path, std::size_t offset,
                                     const std::string& text) {
    return update::writeDurably(ansiToWide(path), offset, text);
}

std::unique_ptr<InstallationLock> InstallFileSystem::lockInstallation(const std::string& folder) {
    auto file = holdLockFile(ansiToWide(folder).append(L"\\").append(kLockLeaf));
    return file ? std::make_unique<HeldLock>(std::move(file)) : nullptr;
}

}  // namespace update
