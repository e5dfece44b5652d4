// The install step's file operations and the tree removal on real files of the
// prefix: what the scripting object and the file calls really do.
#include "win32/install_file_system.hpp"
#include "win32/durable_files.hpp"

#include "common/win32/ansi_text.hpp"
#include "common/win32/com.hpp"
#include "ui_harness.hpp"

#include <gtest/gtest.h>

namespace {

using common::win32::ansiToWide;
using common::win32::wideToAnsi;
using namespace ui_harness;

class InstallFiles : public ::testing::Test {
protected:
    std::wstring at(const std::wstring& relative) const { return temp / relative; }
    std::string ansiAt(const std::wstring& relative) const { return wideToAnsi(at(relative)); }

    const common::Result<common::win32::unique_couninitialize_call> com =
        common::win32::initializeCom();
    TempFolder temp{L"install-files"};
    update::InstallFileSystem fs;
};

TEST_F(InstallFiles, EachOperationDoesWhatItSaysOrFails) {
    ASSERT_TRUE(fs.created());
    writeFile(at(L"src\\top.txt"), "top");
    writeFile(at(L"src\\sub\\deep\\d.txt"), "deep");
    createFolders(at(L"src\\empty"));
    createFolders(at(L"dst"));
    writeFile(at(L"a.mdb"), "a");
    writeFile(at(L"b.mdb"), "b");

    EXPECT_TRUE(fs.fileExists(ansiAt(L"a.mdb")));
    EXPECT_FALSE(fs.folderExists(ansiAt(L"a.mdb")));
    EXPECT_TRUE(fs.folderExists(ansiAt(L"dst")));
    EXPECT_FALSE(fs.fileExists(ansiAt(L"dst")));
    EXPECT_FALSE(fs.fileExists(ansiAt(L"missing")));

    ASSERT_TRUE(fs.copyFolder(ansiAt(L"src"), ansiAt(L"dst")));
    EXPECT_EQ(snapshotTree(at(L"dst")), snapshotTree(at(L"src")));
    EXPECT_TRUE(fs.flush({ansiAt(L"dst"), ansiAt(L"a.mdb")}));
    EXPECT_FALSE(fs.flush({ansiAt(L"dst"), ansiAt(L"nothing")}));

    EXPECT_FALSE(fs.copyFolder(ansiAt(L"nothing"), ansiAt(L"dst")));
    EXPECT_FALSE(fs.copyFile(ansiAt(L"nothing.mdb"), ansiAt(L"dst\\x.mdb"), false));
    EXPECT_FALSE(fs.remove(ansiAt(L"nothing.mdb"), "0-0"));
    EXPECT_FALSE(fs.remove(ansiAt(L"nothing"), "0-0"));
    EXPECT_FALSE(fs.copyFile(ansiAt(L"a.mdb"), ansiAt(L"b.mdb"), false));
    EXPECT_EQ(readFile(at(L"b.mdb")), "b");
    EXPECT_TRUE(fs.copyFile(ansiAt(L"a.mdb"), ansiAt(L"b.mdb"), true));
    EXPECT_EQ(readFile(at(L"b.mdb")), "a");

    // A claim makes what it names where nothing is, and keeps it only once
    // its identity, which a rename keeps, is accepted.
    for (const bool folder : {true, false}) {
        std::string made;
        const auto accept = [&](const std::string& identity) -> common::Result<> {
            made = identity;
            return {};
        };
        const auto refuse = [](const std::string&) { return common::stopFailure(L"test", L"no"); };
        EXPECT_FALSE(fs.claim(ansiAt(L"gone"), folder, refuse));
        ASSERT_TRUE(fs.claim(ansiAt(L"kept"), folder, accept));
        EXPECT_FALSE(fs.claim(ansiAt(L"kept"), folder, accept));
        ASSERT_TRUE(fs.rename(ansiAt(L"kept"), ansiAt(folder ? L"dst\\kept" : L"kept.mdb")));
        EXPECT_EQ(*fs.identify(ansiAt(folder ? L"dst\\kept" : L"kept.mdb")), made);
    }
    EXPECT_EQ(*fs.identify(ansiAt(L"gone")), "");

    EXPECT_FALSE(fs.rename(ansiAt(L"src"), ansiAt(L"dst"))) << "a rename must never replace";
    EXPECT_EQ(readFile(at(L"dst\\top.txt")), "top");
    EXPECT_TRUE(fs.rename(ansiAt(L"src"), ansiAt(L"moved")));
    EXPECT_TRUE(folderExists(at(L"moved\\empty")));
}

// The database, or anything in the Events tree: a file, a folder inside, or
// the folder itself, held open with every sharing allowed.
TEST_F(InstallFiles, ExclusiveChecksFailWhileAnyoneHoldsAnything) {
    writeFile(at(L"db.mdb"), "db");
    writeFile(at(L"Events\\sub\\e.evt"), "e");
    for (const std::wstring held : {L"db.mdb", L"Events\\sub\\e.evt", L"Events\\sub", L"Events"}) {
        const auto free = [&] {
            return held == L"db.mdb" ? fs.canOpenExclusively(ansiAt(held))
                                     : fs.canRemoveAll(ansiAt(L"Events"));
        };
        {
            const common::win32::unique_hfile holder(
                CreateFileW(at(held).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            ASSERT_TRUE(holder);
            EXPECT_FALSE(free()) << narrow(held);
        }
        EXPECT_TRUE(free()) << narrow(held);
    }
    EXPECT_FALSE(fs.canOpenExclusively(ansiAt(L"missing.mdb")));
}

TEST_F(InstallFiles, AnsiPathsWithBlanksAndAccentsReachTheRightFiles) {
    ASSERT_EQ(GetACP(), 1252u) << "the accented name below is CP1252 text";
    const std::wstring folder = L"Prog Files\\Orv\u00e9xa";
    writeFile(at(folder + L"\\a.txt"), "a");
    const std::string ansiFolder = wideToAnsi(temp.path()) + "\\Prog Files\\Orv\xe9xa";
    EXPECT_TRUE(fs.folderExists(ansiFolder));
    EXPECT_TRUE(fs.fileExists(ansiFolder + "\\a.txt"));
    EXPECT_TRUE(fs.copyFile(ansiFolder + "\\a.txt", ansiFolder + "\\b.txt", false));
    EXPECT_EQ(readFile(at(folder + L"\\b.txt")), "a");
    EXPECT_TRUE(fs.remove(ansiFolder, *fs.identify(ansiFolder)));
    EXPECT_FALSE(folderExists(at(folder)));
}

// Under Wine, whose own link calls are stubs, a host symbolic link stands in.
bool makeFolderLink(const std::wstring& link, const std::wstring& target) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    const auto toUnix = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    const auto isLink = [&] {
        const DWORD a = GetFileAttributesW(link.c_str());
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
    };
    if (!toUnix) return false;
    const auto hostPath = [&](const std::wstring& path) {
        char* name = toUnix(path.c_str());
        const std::wstring result = name ? ansiToWide(name) : std::wstring();
        HeapFree(GetProcessHeap(), 0, name);
        return result;
    };
    // Wine starts a host program detached and may report failure although it
    // runs, so its effect is awaited instead.
    try {
        Process::start(L"Z:\\bin\\ln", {.arguments = {L"-s", hostPath(target), hostPath(link)}})
            .waitForExit(Millis{10000});
    } catch (const HarnessError&) {
    }
    return waitUntil(isLink, Millis{10000});
}

TEST(FolderTreeRemoval, RemovesReadOnlyEntriesButNeverWhatALinkPointsTo) {
    const TempFolder temp(L"tree-removal");
    const std::wstring root = temp / L"Events";
    const std::wstring outside = temp / L"Outside";
    writeFile(root + L"\\ro.txt", "r");
    writeFile(root + L"\\sub\\ro2.txt", "r");
    writeFile(outside + L"\\keep.txt", "keep");
    writeFile(outside + L"\\sub\\deep.txt", "deep");
    for (const auto& readOnly : {L"\\ro.txt", L"\\sub\\ro2.txt", L"\\sub"})
        ASSERT_TRUE(SetFileAttributesW((root + readOnly).c_str(), FILE_ATTRIBUTE_READONLY));
    const TreeSnapshot before = snapshotTree(outside);

    EXPECT_TRUE(update::removeFolderTree(root));
    EXPECT_FALSE(folderExists(root));
    EXPECT_FALSE(update::removeFolderTree(root)) << "a missing folder";
    writeFile(root, "a file");
    EXPECT_FALSE(update::removeFolderTree(root)) << "a file";
    EXPECT_TRUE(fileExists(root));
    DeleteFileW(root.c_str());

    writeFile(root + L"\\own.txt", "own");
    if (!makeFolderLink(root + L"\\linked", outside)) GTEST_SKIP() << "no folder links here";
    static_cast<void>(update::removeFolderTree(root));  // may leave a link that cannot go
                                                        // on its own
    EXPECT_FALSE(fileExists(root + L"\\own.txt"));
    EXPECT_EQ(snapshotTree(outside), before);
}

}  // namespace
