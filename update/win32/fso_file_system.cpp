#include "fso_file_system.hpp"

#include "durable_files.hpp"
#include "file_handle.hpp"
#include "remove_folder_tree.hpp"

#include <utility>

namespace update {
namespace {

// Holds the texts an Invoke error may hand back, so they are always freed.
struct ExceptionInfo {
    EXCEPINFO info{};
    ExceptionInfo() = default;
    ExceptionInfo(const ExceptionInfo&) = delete;
    ExceptionInfo& operator=(const ExceptionInfo&) = delete;
    ~ExceptionInfo() {
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
    }
};

}  // namespace

ComScope::ComScope() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // S_OK and S_FALSE both take a reference that must be given back.
    mustUninitialize_ = SUCCEEDED(hr);
    usable_ = mustUninitialize_ || hr == RPC_E_CHANGED_MODE;
}

ComScope::~ComScope() {
    if (mustUninitialize_) CoUninitialize();
}

Variant Variant::text(const std::wstring& s) {
    Variant v;
    v.value_.bstrVal = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    if (v.value_.bstrVal) v.value_.vt = VT_BSTR;
    return v;
}

Variant Variant::boolean(bool b) {
    Variant v;
    v.value_.vt = VT_BOOL;
    v.value_.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

std::wstring ansiToWide(const std::string& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), needed);
    return wide;
}

FsoFileSystem::FsoFileSystem() {
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(L"Scripting.FileSystemObject", &clsid))) return;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                IID_IDispatch, fso_.out()))) {
        fso_.reset();
    }
}

std::optional<Variant> FsoFileSystem::call(const wchar_t* method, std::vector<Variant>& args) {
    if (!fso_) return std::nullopt;
    for (const Variant& arg : args) {
        if (!arg.valid()) return std::nullopt;  // a text that could not be allocated
    }
    std::wstring name(method);
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    if (FAILED(fso_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
        return std::nullopt;
    }
    // IDispatch takes the arguments last to first.
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it->get());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    Variant result;
    ExceptionInfo error;
    UINT badArgument = 0;
    const HRESULT hr = fso_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                    result.get(), &error.info, &badArgument);
    if (FAILED(hr)) return std::nullopt;
    return result;
}

bool FsoFileSystem::callSucceeds(const wchar_t* method, std::vector<Variant> args) {
    return call(method, args).has_value();
}

bool FsoFileSystem::callIsTrue(const wchar_t* method, const std::string& path) {
    std::vector<Variant> args;
    args.push_back(Variant::text(ansiToWide(path)));
    const auto result = call(method, args);
    if (!result) return false;
    const VARIANT& v = result->value();
    return v.vt == VT_BOOL && v.boolVal != VARIANT_FALSE;
}

bool FsoFileSystem::fileExists(const std::string& path) { return callIsTrue(L"FileExists", path); }

bool FsoFileSystem::folderExists(const std::string& path) {
    return callIsTrue(L"FolderExists", path);
}

bool FsoFileSystem::deleteFolder(const std::string& path) {
    // The scripting object's DeleteFolder descends into linked folders and
    // deletes what they point to; the tree is removed here without following.
    return removeFolderTree(ansiToWide(path));
}

bool FsoFileSystem::deleteFile(const std::string& path) {
    std::vector<Variant> args;
    args.push_back(Variant::text(ansiToWide(path)));
    args.push_back(Variant::boolean(true));
    return callSucceeds(L"DeleteFile", std::move(args)) && !fileExists(path);
}

bool FsoFileSystem::createFolder(const std::string& path) {
    std::vector<Variant> args;
    args.push_back(Variant::text(ansiToWide(path)));
    return callSucceeds(L"CreateFolder", std::move(args));
}

bool FsoFileSystem::copyFolder(const std::string& src, const std::string& dst) {
    std::vector<Variant> args;
    args.push_back(Variant::text(ansiToWide(src)));
    args.push_back(Variant::text(ansiToWide(dst)));
    args.push_back(Variant::boolean(true));
    return callSucceeds(L"CopyFolder", std::move(args));
}

bool FsoFileSystem::copyFile(const std::string& src, const std::string& dst, bool overwrite) {
    std::vector<Variant> args;
    args.push_back(Variant::text(ansiToWide(src)));
    args.push_back(Variant::text(ansiToWide(dst)));
    args.push_back(Variant::boolean(overwrite));
    return callSucceeds(L"CopyFile", std::move(args));
}

bool FsoFileSystem::rename(const std::string& src, const std::string& dst) {
    // The scripting object of some platforms lacks MoveFolder; without the
    // replace flag an existing destination makes this fail.
    return renameDurably(ansiToWide(src), ansiToWide(dst));
}

bool FsoFileSystem::canOpenExclusively(const std::string& path) {
    FileHandle file(CreateFileW(ansiToWide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid();
}

bool FsoFileSystem::canRemoveAll(const std::string& folder) {
    return canRemoveAllFiles(ansiToWide(folder));
}

bool FsoFileSystem::flush(const std::string& path) { return flushToDisk(ansiToWide(path)); }

std::optional<std::string> FsoFileSystem::readFile(const std::string& path) {
    return readSmallFile(ansiToWide(path));
}

bool FsoFileSystem::appendDurably(const std::string& path, const std::string& text) {
    return update::appendDurably(ansiToWide(path), text);
}

}  // namespace update
