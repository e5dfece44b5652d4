#include "win32/install_file_system.hpp"

#include "win32/durable_files.hpp"
#include "win32/folder_walk.hpp"
#include "win32/installation_hold.hpp"
#include "win32/pack_digests.hpp"
#include "win32/tree_copy.hpp"

#include "common/core/trace.hpp"
#include "common/win32/ansi_text.hpp"
#include "common/win32/failed_call.hpp"
#include "common/win32/unique_any.hpp"

#include <utility>

namespace update {
namespace {

using common::win32::ansiToWide;
using common::win32::UniqueVariant;

common::Result<> createScriptingObject(common::win32::ComPtr<IDispatch>& object) {
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

// The lock given to the step: the installation held while it lives.
// The file system looks paths up under it until it ends.
class HeldLock final : public InstallationLock {
public:
    HeldLock(std::unique_ptr<InstallationHold> hold, InstallationHold*& current)
        : hold_(std::move(hold)), current_(current) {
        current_ = hold_.get();
    }
    ~HeldLock() override { current_ = nullptr; }

private:
    std::unique_ptr<InstallationHold> hold_;
    InstallationHold*& current_;
};

bool isUnder(const std::wstring& path, const std::wstring& folder) {
    return path.size() > folder.size() && path[folder.size()] == L'\\' &&
           sameName(path.substr(0, folder.size()), folder);
}

common::Result<std::wstring> fullPath(const std::string& path) {
    auto full = extendedPath(ansiToWide(path));
    if (full) {
        while (full->ends_with(L'\\')) full->pop_back();
    }
    return full;
}

constexpr ULONG shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

// Where an item lies: the folder it is looked up in, held by the
// installation's hold or opened by path, and its name there.
struct InstallFileSystem::Place {
    const HeldItem* held = nullptr;
    HeldItem opened;
    std::wstring name;

    const HeldItem& folder() const { return held ? *held : opened; }
};

InstallFileSystem::InstallFileSystem() : created_(createScriptingObject(fso_)) {}

InstallFileSystem::~InstallFileSystem() = default;

FileSystem::Result InstallFileSystem::call(const wchar_t* method, Arguments args,
                                           UniqueVariant& result) {
    if (!fso_) return created_;
    for (const UniqueVariant& arg : args) {
        // A text that could not be allocated.
        if (!arg.hasValue()) return FAILED_HRESULT(SysAllocStringLen, E_OUTOFMEMORY);
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
    args.push_back(UniqueVariant::text(ansiToWide(path)));
    UniqueVariant result;
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

void InstallFileSystem::beforeUse(const char* step) const {
    if (betweenCheckAndUse) betweenCheckAndUse(step);
}

common::Result<InstallFileSystem::Place> InstallFileSystem::placeOf(const std::string& path) {
    const auto full = fullPath(path);
    if (!full) return full.failure();
    const std::size_t split = full->find_last_of(L'\\');
    if (split < 4 || full->back() == L':')
        return common::stopFailure(L"InstallFileSystem", L"not an item in a folder: " + *full);
    Place place;
    place.name = full->substr(split + 1);
    std::wstring parent = full->substr(0, split);
    if (const InstallationHold* hold = hold_) {
        if (sameName(parent, hold->folder.path)) {
            place.held = &hold->folder;
        } else if (sameName(parent, hold->folder.path + L"\\Database")) {
            if (!hold->database)
                return common::stopFailure(
                    L"InstallFileSystem",
                    L"the installation had no Database folder when it was held: " + *full);
            place.held = &*hold->database;
        } else if (isUnder(parent, hold->folder.path)) {
            return common::stopFailure(L"InstallFileSystem",
                                       L"not in a folder the install holds: " + *full);
        }
        if (place.held) return place;
    }
    if (parent.back() == L':') parent += L'\\';  // a drive's root, not the drive
    // Shared fully: others may work in that folder meanwhile.
    auto opened = openPath(
        parent,
        {.access = FILE_TRAVERSE | FILE_READ_ATTRIBUTES, .share = shareAll, .followLink = true});
    if (!opened) return opened.failure();
    place.opened = std::move(*opened);
    return place;
}

common::Result<HeldItem> InstallFileSystem::open(const std::string& path, const ItemOpen& how) {
    if (const HeldItem* kept = claimed(path)) {
        HeldItem item{{}, kept->path, kept->realPath, kept->attributes};
        item.handle.reset(ReOpenFile(kept->handle.get(), how.access | SYNCHRONIZE, how.share,
                                     FILE_FLAG_BACKUP_SEMANTICS));
        if (!item.handle) return FAILED_CALL(ReOpenFile).about(item.path);
        return item;
    }
    auto place = placeOf(path);
    if (!place) return place.failure();
    return openEntry(place->folder(), place->name, how);
}

const HeldItem* InstallFileSystem::claimed(const std::string& path) {
    const auto full = fullPath(path);
    if (!full) return nullptr;
    for (const auto& [path, item] : claims_) {
        if (path == *full) return &item;
    }
    return nullptr;
}

void InstallFileSystem::forget(const std::wstring& path) {
    std::erase_if(claims_, [&](const auto& claim) { return claim.first == path; });
}

FileSystem::Result InstallFileSystem::remove(const std::string& path, const std::string& identity) {
    // Its claim's handle would keep it until that closed.
    if (const auto full = fullPath(path)) forget(*full);
    auto place = placeOf(path);
    if (!place) return place.failure();
    // Not the scripting object's DeleteFolder, which descends into linked
    // folders and deletes what they point to.
    auto item = openOwnItem(place->folder(), place->name, identity, forRemoval);
    if (!item) return item.failure();
    beforeUse("remove");
    return removeHeldItem(std::move(*item));
}

FileSystem::Result InstallFileSystem::claim(
    const std::string& path, bool folder,
    const std::function<Result(const std::string& identity)>& keep) {
    const auto full = fullPath(path);
    if (!full) return full.failure();
    auto place = placeOf(path);
    if (!place) return place.failure();
    auto item = claimAt(place->folder(), place->name, folder, keep);
    if (!item) return item.failure();
    forget(*full);
    claims_.emplace_back(std::move(*full), std::move(*item));
    return {};
}

FileSystem::Result InstallFileSystem::copyFolder(const std::string& src, const std::string& dst) {
    auto from = openPath(ansiToWide(src),
                         {.access = GENERIC_READ, .share = FILE_SHARE_READ, .followLink = true});
    if (!from) return from.failure();
    auto into = open(dst, {.access = FILE_TRAVERSE | FILE_READ_ATTRIBUTES, .share = shareAll});
    if (!into) return into.failure();
    if (!isRealFolder(into->attributes))
        return common::stopFailure(L"copyFolder", L"not a folder: " + into->path);
    beforeUse("copy");
    return copyTree(std::move(*from), *into);
}

FileSystem::Result InstallFileSystem::copyFile(const std::string& src, const std::string& dst,
                                               bool overwrite) {
    const auto from = openPath(
        ansiToWide(src), {.access = GENERIC_READ, .share = FILE_SHARE_READ, .followLink = true});
    if (!from) return from.failure();
    if (from->attributes & FILE_ATTRIBUTE_DIRECTORY)
        return common::stopFailure(L"copyFile", L"not a file: " + from->path);
    // Written where nothing is; over what is there only when asked, and
    // never through a link or into a folder.
    ItemOpen how{.access = GENERIC_WRITE, .share = FILE_SHARE_READ, .create = !claimed(dst)};
    auto to = open(dst, how);
    if (!to && overwrite && how.create &&
        (to.failure().code == ERROR_ALREADY_EXISTS || to.failure().code == ERROR_FILE_EXISTS)) {
        how.create = false;
        to = open(dst, how);
        if (to && (to->attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            return common::stopFailure(L"copyFile", L"not a file: " + to->path);
    }
    if (!to) return to.failure();
    if (!how.create && !overwrite) return common::stopFailure(L"copyFile", L"taken: " + to->path);
    beforeUse("copy");
    return copyFileContents(from->handle.get(), to->handle.get(), to->path);
}

FileSystem::Result InstallFileSystem::rename(const std::string& src, const std::string& dst) {
    const auto to = placeOf(dst);
    if (!to) return to.failure();
    const auto item = open(src, {.access = DELETE | FILE_READ_ATTRIBUTES, .share = shareAll});
    if (!item) return item.failure();
    beforeUse("rename");
    auto renamed = renameHeld(*item, to->folder(), to->name);
    // Gone live, or back to where it was made: held no longer.
    if (const auto full = fullPath(src); renamed && full) forget(*full);
    return renamed;
}

FileSystem::Result InstallFileSystem::inheritPermissions(const std::string& path,
                                                         const std::string& identity) {
    auto place = placeOf(path);
    if (!place) return place.failure();
    auto item = openOwnItem(place->folder(), place->name, identity,
                            {.access = READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES});
    if (!item) return item.failure();
    beforeUse("permissions");
    return resetPermissions(std::move(*item));
}

common::Result<std::string> InstallFileSystem::identify(const std::string& path) {
    // Attributes only, which no sharing mode of another program refuses.
    const auto item = open(path, {.access = FILE_READ_ATTRIBUTES, .share = shareAll});
    if (item) return identityOf(item->handle.get(), item->path);
    if (notFound(item.failure())) return std::string();
    return item.failure();
}

FileSystem::Result InstallFileSystem::canOpenExclusively(const std::string& path) {
    // The item itself, a link as the link: that is what the install moves.
    const auto held = open(path, {.access = GENERIC_READ, .share = 0});
    if (!held) return held.failure();
    return {};
}

FileSystem::Result InstallFileSystem::canRemoveAll(const std::string& folder) {
    // Every entry opened for deletion with no sharing, as a removal would.
    const ItemOpen how{.access = DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, .share = 0};
    auto root = open(folder, how);
    if (!root) return root.failure();
    return walkTree(std::move(*root), how, {});
}

FileSystem::Result InstallFileSystem::flush(const std::vector<std::string>& paths) {
    std::vector<HeldItem> items;
    for (const std::string& path : paths) {
        auto item =
            open(path, {.access = FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, .share = shareAll});
        if (!item) return item.failure();
        items.push_back(std::move(*item));
    }
    return flushHeld(std::move(items));
}

common::Result<std::vector<std::vector<PackFile>>> InstallFileSystem::contents(
    const std::vector<std::string>& paths) {
    std::vector<HeldItem> roots;
    for (const std::string& path : paths) {
        auto item = open(path, forReading);
        if (!item && !notFound(item.failure())) return item.failure();
        roots.push_back(item ? std::move(*item) : HeldItem{});  // no handle: nothing there
    }
    return listWithDigests(std::move(roots));
}

common::Result<std::unique_ptr<InstallationLock>> InstallFileSystem::lockInstallation(
    const std::string& folder) {
    auto hold = holdInstallation(ansiToWide(folder));
    if (!hold) return hold.failure();
    if (!*hold) return std::unique_ptr<InstallationLock>();  // another setup's
    auto lock = std::make_unique<HeldLock>(std::move(*hold), hold_);
    beforeUse("hold");
    return std::unique_ptr<InstallationLock>(std::move(lock));
}

}  // namespace update
