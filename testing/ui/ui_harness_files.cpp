#include "ui_harness.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace ui_harness {

namespace fs = std::filesystem;

std::wstring pathFromEnvironment(const std::wstring& variable) {
    std::wstring path(GetEnvironmentVariableW(variable.c_str(), nullptr, 0), L'\0');
    path.resize(GetEnvironmentVariableW(variable.c_str(), path.data(), DWORD(path.size())));
    if (path.empty()) throw HarnessError(variable + L" is not set");
    return windowsPathFromUnix(std::move(path));
}

std::wstring windowsPathFromUnix(std::wstring path) {
    if (path.empty() || path.front() != L'/') return path;
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return L"Z:" + path;
}

std::wstring joinPath(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty()) return name;
    const wchar_t last = folder.back();
    return (last == L'\\' || last == L'/') ? folder + name : folder + L'\\' + name;
}

void writeFile(const std::wstring& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw HarnessError(L"cannot write " + path);
}

std::string readFile(const std::wstring& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    if (!in) throw HarnessError(L"cannot read " + path);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

bool fileExists(const std::wstring& path) {
    std::error_code error;
    return fs::is_regular_file(fs::path(path), error);
}

bool folderExists(const std::wstring& path) {
    std::error_code error;
    return fs::is_directory(fs::path(path), error);
}

void createFolders(const std::wstring& path) { fs::create_directories(fs::path(path)); }

void copyFile(const std::wstring& from, const std::wstring& to) {
    fs::create_directories(fs::path(to).parent_path());
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE))
        throw HarnessError(L"cannot copy " + from + L" to " + to);
}

void removeTree(const std::wstring& path) {
    std::error_code error;
    fs::remove_all(fs::path(path), error);
}

TreeSnapshot snapshotTree(const std::wstring& folder) {
    TreeSnapshot snapshot;
    const fs::path root(folder);
    if (!fs::is_directory(root)) return snapshot;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const auto relative = entry.path().lexically_relative(root).wstring();
        if (entry.is_directory())
            snapshot[relative + L"\\"] = {};
        else
            snapshot[relative] = readFile(entry.path().wstring());
    }
    return snapshot;
}

TempFolder::TempFolder(const std::wstring& prefix) {
    wchar_t base[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, base);
    // Each test program has a Wine prefix, and so a %TEMP%, of its own.
    static unsigned counter = 0;
    path_ = joinPath(base, prefix + L"-" + std::to_wstring(++counter));
    if (!CreateDirectoryW(path_.c_str(), nullptr)) throw HarnessError(L"cannot create " + path_);
}

}  // namespace ui_harness
