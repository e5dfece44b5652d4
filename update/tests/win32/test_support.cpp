#include "tests/win32/test_support.hpp"

#include "common/win32/unique_any.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

namespace testing_support {
namespace {

using common::win32::unique_handle;
using common::win32::unique_hfile;
using common::win32::unique_hfind;
using common::win32::unique_hkey;

void removeAll(const std::wstring& path) {
    // Cleanup only; never descends into a link.
    WIN32_FIND_DATAW entry{};
    if (const unique_hfind find(FindFirstFileW((path + L"\\*").c_str(), &entry)); find) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) removeAll(child);
                RemoveDirectoryW(child.c_str());
            } else {
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find.get(), &entry));
    }
    RemoveDirectoryW(path.c_str());
}

void snapshotInto(Tree& tree, const std::wstring& root, const std::wstring& relative) {
    WIN32_FIND_DATAW entry{};
    const unique_hfind find(FindFirstFileW((root + relative + L"\\*").c_str(), &entry));
    if (!find) return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring rel = relative + L"\\" + name;
        const DWORD a = entry.dwFileAttributes;
        if (a & FILE_ATTRIBUTE_REPARSE_POINT) {
            tree[rel] = "link";
        } else if (a & FILE_ATTRIBUTE_DIRECTORY) {
            tree[rel] = "dir";
            snapshotInto(tree, root, rel);
        } else {
            tree[rel] = std::string(a & FILE_ATTRIBUTE_READONLY ? "ro " : "") +
                        "file:" + readFile(root + rel);
        }
    } while (FindNextFileW(find.get(), &entry));
}

using UnixName = char*(CDECL*)(LPCWSTR);

// Wine starts a host program detached and may report failure although it
// runs, so the caller waits for its effect instead.
void startHostProgram(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
        const unique_handle processHandle(process.hProcess);
        const unique_handle threadHandle(process.hThread);
        WaitForSingleObject(process.hProcess, 10000);
    }
}

bool isLink(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::wstring hostPath(UnixName toUnix, const std::wstring& path) {
    char* name = toUnix(path.c_str());
    if (!name) return {};
    std::wstring result = ansiToWide(name);
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

}  // namespace

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"update_test_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
            std::to_wstring(counter++);
    removeAll(path_);
    if (!CreateDirectoryW(path_.c_str(), nullptr)) throw std::runtime_error("no temp folder");
}

TempFolder::~TempFolder() { removeAll(path_); }

void makeFolders(const std::wstring& path) {
    const auto slash = path.find_last_of(L'\\');
    if (slash != std::wstring::npos && slash > 2 && !exists(path.substr(0, slash))) {
        makeFolders(path.substr(0, slash));
    }
    CreateDirectoryW(path.c_str(), nullptr);
}

void writeFile(const std::wstring& path, const std::string& bytes) {
    const auto slash = path.find_last_of(L'\\');
    makeFolders(path.substr(0, slash));
    const unique_hfile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << wideToAnsi(path);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr));
    ASSERT_EQ(written, bytes.size());
}

std::string readFile(const std::wstring& path) {
    const unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        0, nullptr));
    if (!file) return "<unreadable>";
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    return bytes;
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void setReadOnly(const std::wstring& path) {
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
}

Tree snapshot(const std::wstring& folder) {
    Tree tree;
    snapshotInto(tree, folder, L"");
    return tree;
}

bool makeFolderLink(const std::wstring& link, const std::wstring& target) {
    const auto toUnix = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (!toUnix) {
        CreateSymbolicLinkW(
            link.c_str(), target.c_str(),
            SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
        return isLink(link);
    }
    const std::wstring from = hostPath(toUnix, target);
    const std::wstring to = hostPath(toUnix, link);
    if (from.empty() || to.empty()) return false;
    startHostProgram(L"Z:\\bin\\ln -s \"" + from + L"\" \"" + to + L"\"");
    for (int waited = 0; waited < 100 && !isLink(link); ++waited) Sleep(100);
    return isLink(link);
}

void deleteRecord() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kRecordKey); }

void putRecordValue(const char* name, const std::string& text) {
    unique_hkey key;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, kRecordKey, key.put()), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key.get(), name, 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(text.c_str()), DWORD(text.size() + 1)),
              ERROR_SUCCESS);
}

std::map<std::string, std::string> recordSnapshot() {
    std::map<std::string, std::string> values;
    unique_hkey key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kRecordKey, key.put()) != ERROR_SUCCESS) return values;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameSize = sizeof name;
        BYTE data[1024];
        DWORD dataSize = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(key.get(), index, name, &nameSize, nullptr, &type, data, &dataSize) !=
            ERROR_SUCCESS) {
            break;
        }
        values[name] =
            std::to_string(type) + ":" + std::string(reinterpret_cast<const char*>(data), dataSize);
    }
    return values;
}

}  // namespace testing_support
