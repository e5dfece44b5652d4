// The install step's file operations and the tree removal on real files of the prefix.
#include "win32/install_file_system.hpp"
#include "win32/remove_folder_tree.hpp"

#include "tests/win32/test_support.hpp"

#include "common/win32/com.hpp"

#include <gtest/gtest.h>

namespace {

using namespace testing_support;

class InstallFiles : public ::testing::Test {
protected:
    std::wstring at(const std::wstring& relative) const { return temp.path() + L"\\" + relative; }
    std::string ansiAt(const std::wstring& relative) const { return wideToAnsi(at(relative)); }

    common::Failure comFailure;
    const common::win32::unique_couninitialize_call com = common::win32::initializeCom(comFailure);
    TempFolder temp;
    update::InstallFileSystem fs;
};

TEST_F(InstallFiles, ExistenceTellsFilesFromFolders) {
    ASSERT_TRUE(fs.created());
    writeFile(at(L"f.txt"), "x");
    EXPECT_TRUE(fs.fileExists(ansiAt(L"f.txt")));
    EXPECT_FALSE(fs.folderExists(ansiAt(L"f.txt")));
    EXPECT_TRUE(fs.folderExists(temp.ansi()));
    EXPECT_FALSE(fs.fileExists(temp.ansi()));
    EXPECT_FALSE(fs.fileExists(ansiAt(L"missing")));
}

TEST_F(InstallFiles, CopyFolderPutsFilesAndSubfoldersIntoTheExistingDestination) {
    writeFile(at(L"src\\top.txt"), "top");
    writeFile(at(L"src\\sub\\deep\\d.txt"), "deep");
    makeFolders(at(L"src\\empty"));
    makeFolders(at(L"dst"));
    ASSERT_TRUE(fs.copyFolder(ansiAt(L"src"), ansiAt(L"dst")));
    EXPECT_EQ(snapshot(at(L"dst")), snapshot(at(L"src")));
}

TEST_F(InstallFiles, FailedCallsAreFalseResults) {
    makeFolders(at(L"dst"));
    EXPECT_FALSE(fs.copyFolder(ansiAt(L"nothing"), ansiAt(L"dst")));
    EXPECT_FALSE(fs.copyFile(ansiAt(L"nothing.mdb"), ansiAt(L"dst\\x.mdb"), false));
    EXPECT_FALSE(fs.createFolder(ansiAt(L"no\\such\\parent")));
    EXPECT_FALSE(fs.deleteFile(ansiAt(L"nothing.mdb")));
    EXPECT_FALSE(fs.deleteFolder(ansiAt(L"nothing")));
    writeFile(at(L"a.mdb"), "a");
    writeFile(at(L"b.mdb"), "b");
    EXPECT_FALSE(fs.copyFile(ansiAt(L"a.mdb"), ansiAt(L"b.mdb"), false));
    EXPECT_EQ(readFile(at(L"b.mdb")), "b");
    EXPECT_TRUE(fs.copyFile(ansiAt(L"a.mdb"), ansiAt(L"b.mdb"), true));
    EXPECT_EQ(readFile(at(L"b.mdb")), "a");
}

TEST_F(InstallFiles, RenameNeverReplaces) {
    makeFolders(at(L"one"));
    writeFile(at(L"two\\keep.txt"), "keep");
    EXPECT_FALSE(fs.rename(ansiAt(L"one"), ansiAt(L"two")));
    EXPECT_EQ(readFile(at(L"two\\keep.txt")), "keep");
    EXPECT_TRUE(fs.rename(ansiAt(L"one"), ansiAt(L"three")));
    EXPECT_TRUE(exists(at(L"three")));
}

TEST_F(InstallFiles, ExclusiveOpenFailsWhileAnyoneHoldsTheFile) {
    writeFile(at(L"db.mdb"), "db");
    {
        const common::win32::unique_hfile reader(
            CreateFileW(at(L"db.mdb").c_str(), GENERIC_READ,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(reader);
        EXPECT_FALSE(fs.canOpenExclusively(ansiAt(L"db.mdb")));
    }
    EXPECT_TRUE(fs.canOpenExclusively(ansiAt(L"db.mdb")));
    EXPECT_FALSE(fs.canOpenExclusively(ansiAt(L"missing.mdb")));
}

TEST_F(InstallFiles, AnsiPathsWithBlanksAndAccentsReachTheRightFiles) {
    ASSERT_EQ(GetACP(), 1252u) << "the accented name below is CP1252 text";
    const std::wstring folder = L"Prog Files\\Orv\u00e9xa";
    writeFile(at(folder + L"\\a.txt"), "a");
    const std::string ansiFolder = temp.ansi() + "\\Prog Files\\Orv\xe9xa";
    EXPECT_TRUE(fs.folderExists(ansiFolder));
    EXPECT_TRUE(fs.fileExists(ansiFolder + "\\a.txt"));
    EXPECT_TRUE(fs.copyFile(ansiFolder + "\\a.txt", ansiFolder + "\\b.txt", false));
    EXPECT_EQ(readFile(at(folder + L"\\b.txt")), "a");
    EXPECT_TRUE(fs.deleteFolder(ansiFolder));
    EXPECT_FALSE(exists(at(folder)));
}

TEST(FolderTreeRemoval, RemovesReadOnlyFilesAndFolders) {
    TempFolder temp;
    const std::wstring root = temp.path() + L"\\Events";
    writeFile(root + L"\\ro.txt", "r");
    writeFile(root + L"\\sub\\ro2.txt", "r");
    setReadOnly(root + L"\\ro.txt");
    setReadOnly(root + L"\\sub\\ro2.txt");
    setReadOnly(root + L"\\sub");
    EXPECT_TRUE(update::removeFolderTree(root));
    EXPECT_FALSE(exists(root));
}

TEST(FolderTreeRemoval, NeverDeletesThroughALinkedFolder) {
    TempFolder temp;
    const std::wstring root = temp.path() + L"\\Events";
    const std::wstring outside = temp.path() + L"\\Outside";
    writeFile(root + L"\\own.txt", "own");
    writeFile(outside + L"\\keep.txt", "keep");
    writeFile(outside + L"\\sub\\deep.txt", "deep");
    if (!makeFolderLink(root + L"\\linked", outside)) GTEST_SKIP() << "no folder links here";
    const Tree before = snapshot(outside);

    update::removeFolderTree(root);  // may leave a link that cannot go on its own

    EXPECT_FALSE(exists(root + L"\\own.txt"));
    EXPECT_EQ(snapshot(outside), before);
}

TEST(FolderTreeRemoval, RefusesWhatIsNotAFolder) {
    TempFolder temp;
    writeFile(temp.path() + L"\\file", "f");
    EXPECT_FALSE(update::removeFolderTree(temp.path() + L"\\file"));
    EXPECT_TRUE(exists(temp.path() + L"\\file"));
    EXPECT_FALSE(update::removeFolderTree(temp.path() + L"\\missing"));
}

}  // namespace
