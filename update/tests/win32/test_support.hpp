// Real files and the real registry of the Wine prefix for the install-step tests.
#pragma once

#include "common/win32/ansi_text.hpp"

#include <windows.h>

#include <map>
#include <string>

namespace testing_support {

using common::win32::ansiToWide;
using common::win32::wideToAnsi;

// A fresh folder under the temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& path() const { return path_; }
    std::string ansi() const { return wideToAnsi(path_); }

private:
    std::wstring path_;
};

void makeFolders(const std::wstring& path);  // with missing parents
void writeFile(const std::wstring& path, const std::string& bytes);
std::string readFile(const std::wstring& path);
bool exists(const std::wstring& path);
void setReadOnly(const std::wstring& path);

// Folder contents by relative path: "dir", "link" or "file:" + bytes
// (read-only files marked). Links are listed, not followed.
using Tree = std::map<std::wstring, std::string>;
Tree snapshot(const std::wstring& folder);

// Makes `link` a link to the folder `target`. Under Wine, whose own link
// functions are stubs, a host symbolic link is made. False when the
// platform cannot make one.
bool makeFolderLink(const std::wstring& link, const std::wstring& target);

// The product's registry record, in this program's own registry view.
inline constexpr const char* kRecordKey = "SOFTWARE\\KVB\\Orvexa";
void deleteRecord();
void putRecordValue(const char* name, const std::string& text);
// Type and raw bytes of every value of the record; empty when it is missing.
std::map<std::string, std::string> recordSnapshot();

}  // namespace testing_support
