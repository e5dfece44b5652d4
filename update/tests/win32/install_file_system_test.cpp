// The install step's file operations and the tree removal on real files of the
// prefix: what the scripting object and the file calls really do.
#include "win32/install_file_system.hpp"

#include "common/win32/ansi_text.hpp"
#include "common/win32/com.hpp"
#include "ui_harness.hpp"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <algorithm>
#include <future>
#include <optional>
#include <string_view>
#include <thread>

namespace {

using common::win32::ansiToWide;
using common::win32::UniqueFile;
using common::win32::wideToAnsi;
using namespace ui_harness;

// The threads of this process: none may outlive the call that started it.
int threadsNow() {
    const UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{sizeof entry, 0, 0, 0, 0, 0, 0};
    int count = 0;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more;
         more = Thread32Next(snapshot.get(), &entry)) {
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    }
    return count;
}

class InstallFiles : public ::testing::Test {
protected:
    std::wstring at(const std::wstring& relative) const { return temp / relative; }
    std::string ansiAt(const std::wstring& relative) const { return wideToAnsi(at(relative)); }

    const common::Result<common::win32::UniqueCoUninitializeCall> com =
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
    // As a mounted image gives them: the copies keep every mark but read-only.
    const std::wstring marked = at(L"src\\sub\\deep\\d.txt");
    ASSERT_TRUE(
        SetFileAttributesW(marked.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

    EXPECT_TRUE(fs.fileExists(ansiAt(L"a.mdb")));
    EXPECT_FALSE(fs.folderExists(ansiAt(L"a.mdb")));
    EXPECT_TRUE(fs.folderExists(ansiAt(L"dst")));
    EXPECT_FALSE(fs.fileExists(ansiAt(L"dst")));
    EXPECT_FALSE(fs.fileExists(ansiAt(L"missing")));

    ASSERT_TRUE(fs.copyFolder(ansiAt(L"src"), ansiAt(L"dst")));
    EXPECT_EQ(snapshotTree(at(L"dst")), snapshotTree(at(L"src")));
    const auto times = [](const std::wstring& path) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
        return std::pair(data.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
                         ULARGE_INTEGER{{data.ftLastWriteTime.dwLowDateTime,
                                         data.ftLastWriteTime.dwHighDateTime}}
                             .QuadPart);
    };
    EXPECT_EQ(times(at(L"dst\\sub\\deep\\d.txt")),
              std::pair(static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN), times(marked).second));
    ASSERT_TRUE(SetFileAttributesW(marked.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(fs.flush({ansiAt(L"dst"), ansiAt(L"a.mdb")}));
    EXPECT_FALSE(fs.flush({ansiAt(L"dst"), ansiAt(L"nothing")}));
    // One file nobody else may open among many: its failure comes back, and
    // only once every flush thread has ended, round after round.
    for (int i = 0; i < 64; ++i) writeFile(at(L"many\\" + std::to_wstring(i) + L".mdb"), "m");
    {
        const UniqueFile held(CreateFileW(at(L"many\\40.mdb").c_str(), GENERIC_READ, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        for (int round = 0; round < 16; ++round) {
            const int threads = threadsNow();
            const auto flushed = fs.flush({ansiAt(L"many")});
            ASSERT_FALSE(flushed);
            EXPECT_EQ(flushed.failure().code, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
            EXPECT_EQ(threadsNow(), threads) << "round " << round;
            const auto listed = fs.contents({ansiAt(L"many")});
            ASSERT_FALSE(listed);
            EXPECT_EQ(listed.failure().code, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
            EXPECT_EQ(threadsNow(), threads) << "round " << round;
        }
    }
    // Read back: each file of a tree by its path there, a file alone, and
    // nothing where nothing is, with sizes and SHA-256.
    auto listed = fs.contents({ansiAt(L"dst"), ansiAt(L"a.mdb"), ansiAt(L"nothing")});
    ASSERT_TRUE(listed);
    std::ranges::sort((*listed)[0], {}, &update::PackFile::path);
    EXPECT_EQ(
        *listed,
        (std::vector<std::vector<update::PackFile>>{
            {{"sub\\deep\\d.txt", 4,
              "74611c1d6455b534323a21f8133a6f43dc3a8188e7b946f96dcc28dde932fcb2"},
             {"top.txt", 3, "28720365c5e7476a011e4f43ac003ee5f16247a263b9d623aa85ed311d73bf39"}},
            {{"", 1, "ca978112ca1bbdcafac231b39a23dc4da786eff8147c4e72b9807785afee48bb"}},
            {}}));

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
        // Filled through the claim's own handle, then renamed through it.
        EXPECT_TRUE(folder ? fs.copyFolder(ansiAt(L"src"), ansiAt(L"kept"))
                           : fs.copyFile(ansiAt(L"a.mdb"), ansiAt(L"kept"), true));
        EXPECT_TRUE(fs.flush({ansiAt(L"kept")}));
        const std::wstring renamed = folder ? L"dst\\kept" : L"kept.mdb";
        ASSERT_TRUE(fs.rename(ansiAt(L"kept"), ansiAt(renamed)));
        EXPECT_EQ(*fs.identify(ansiAt(renamed)), made);
        EXPECT_EQ(folder ? readFile(at(renamed + L"\\sub\\deep\\d.txt")) : readFile(at(renamed)),
                  folder ? "deep" : "a");
        // Going live, it takes the permissions of where it lies, only while
        // it is the item claimed (under Wine, with no security descriptors
        // kept, the call only has to succeed).
        EXPECT_FALSE(fs.inheritPermissions(ansiAt(renamed), made + "0"));
        EXPECT_TRUE(fs.inheritPermissions(ansiAt(renamed), made));
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
            const common::win32::UniqueFile holder(
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
bool makeHostLink(const std::wstring& link, const std::wstring& target) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    const auto toUnix = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
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
    return waitUntil([&] { return GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; },
                     Millis{10000});
}

// Makes the folders on the way and the file by \\?\ paths, which reach past
// the 260 characters where the harness's own calls stop.
void writeLongFile(const std::wstring& path, const std::string& text) {
    const std::wstring full = L"\\\\?\\" + path;
    for (auto at = full.find(L'\\', 7); at != std::wstring::npos; at = full.find(L'\\', at + 1))
        CreateDirectoryW(full.substr(0, at).c_str(), nullptr);
    const UniqueFile file(
        CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(file && WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()),
                                  &written, nullptr));
}

DWORD WINAPI runWork(void* work) {
    (*static_cast<const std::function<void()>*>(work))();
    return 0;
}

// Runs the work on a thread of 64 KiB of stack, which a walk one call frame
// per folder deep overflows a few hundred folders down (the process ends).
void onSmallStack(const std::function<void()>& work) {
    const common::win32::UniqueHandle thread(
        CreateThread(nullptr, 64 * 1024, &runWork, const_cast<std::function<void()>*>(&work),
                     STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    ASSERT_TRUE(thread);
    WaitForSingleObject(thread.get(), INFINITE);
}

// Each row makes an item at `root`; it is removed only when it is the item
// of the identity noted, links inside go as links or stay, and what a
// link points to is never touched. own.txt, where a row writes it, is gone
// exactly when the noted item was worked on. The walks run on a small
// stack.
TEST(ItemRemoval, RemovesOnlyTheNotedItemAndNeverWhatALinkPointsTo) {
    const TempFolder temp(L"item-removal");
    update::InstallFileSystem fs;
    const auto ansi = [](const std::wstring& path) { return wideToAnsi(path); };
    const std::wstring outside = temp / L"Outside";
    writeFile(outside + L"\\keep.txt", "keep");
    writeFile(outside + L"\\sub\\deep.txt", "deep");
    const TreeSnapshot before = snapshotTree(outside);
    const auto readOnly = [](const std::wstring& path) {
        return SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY) != FALSE;
    };
    const std::wstring longFolder =
        temp / L"Long\\" + std::wstring(120, L'a') + L"\\" + std::wstring(120, L'b');
    std::wstring deep;
    for (int level = 0; level < 400; ++level) deep += L"\\d";
    struct Row {
        const char* what;
        std::wstring root;
        std::function<bool(const std::wstring& root)> make;  // false: not here
        bool ownIdentity;                                    // the identity given is the item's own
        bool removed;
    };
    const Row rows[] = {
        {"a tree with read-only entries", temp / L"Tree",
         [&](const std::wstring& root) {
             writeFile(root + L"\\ro.txt", "r");
             writeFile(root + L"\\sub\\ro2.txt", "r");
             return readOnly(root + L"\\ro.txt") && readOnly(root + L"\\sub\\ro2.txt") &&
                    readOnly(root + L"\\sub");
         },
         true, true},
        {"a read-only file", temp / L"File",
         [&](const std::wstring& root) { return writeFile(root, "f"), readOnly(root); }, true,
         true},
        {"a tree past the path limit", longFolder + L"\\Events",
         [&](const std::wstring& root) { return writeLongFile(root + L"\\e.txt", "e"), true; },
         true, true},
        {"a tree 400 folders deep", temp / L"Deep",
         [&](const std::wstring& root) {
             return writeLongFile(root + deep + L"\\e.txt", "e"), true;
         },
         true, true},
        {"another item's identity", temp / L"Other",
         [&](const std::wstring& root) { return writeFile(root + L"\\own.txt", "o"), true; }, false,
         false},
        {"a link to a folder in its place", temp / L"Link",
         [&](const std::wstring& root) { return makeHostLink(root, outside); }, true, false},
        {"a link to a folder inside", temp / L"FolderLink",
         [&](const std::wstring& root) {
             writeFile(root + L"\\own.txt", "o");
             return makeHostLink(root + L"\\linked", outside);
         },
         true, false},
        {"a link to a file inside", temp / L"FileLink",
         [&](const std::wstring& root) {
             writeFile(root + L"\\own.txt", "o");
             return makeHostLink(root + L"\\linked.txt", outside + L"\\keep.txt");
         },
         true, false},
    };
    for (const Row& row : rows) {
        const std::string root = ansi(row.root);
        if (!row.make(row.root)) continue;  // no host links here
        // A host link under Wine cannot be opened as itself: its target's then.
        const auto own = fs.identify(row.ownIdentity ? root : ansi(outside));
        const std::string identity = own ? *own : *fs.identify(ansi(outside));
        common::Result<> removable, flushed, removal;
        onSmallStack([&] {
            if (row.removed) removable = fs.canRemoveAll(root);
            if (row.removed) flushed = fs.flush({root});
            removal = fs.remove(root, identity);
        });
        EXPECT_TRUE(removable && flushed) << row.what;
        EXPECT_EQ(static_cast<bool>(removal), row.removed)
            << row.what << (removal ? "" : ": " + narrow(removal.failure().text()));
        if (row.removed) {
            EXPECT_EQ(*fs.identify(root), "") << row.what;
        }
        EXPECT_EQ(fileExists(row.root + L"\\own.txt"), !row.ownIdentity) << row.what;
        EXPECT_EQ(snapshotTree(outside), before) << row.what;
    }
    EXPECT_FALSE(fs.remove(ansi(temp / L"missing"), "")) << "nothing there";
    EXPECT_TRUE(fs.remove(ansi(temp / L"Long"), *fs.identify(ansi(temp / L"Long"))));
}

// Another setup holding an installation, from a thread of its own: the lock
// is a mutex, which its owning thread would take again.
class OtherSetup {
public:
    explicit OtherSetup(const std::string& folder) : folder_(folder) {
        worker_ = std::thread([this] {
            update::InstallFileSystem fs;
            const auto lock = fs.lockInstallation(folder_);
            held_.set_value(lock && *lock);
            released_.get_future().wait();
        });
    }
    ~OtherSetup() {
        released_.set_value();
        worker_.join();
    }
    bool holds() { return held_.get_future().get(); }

private:
    std::string folder_;
    std::promise<bool> held_;
    std::promise<void> released_;
    std::thread worker_;
};

enum class Hold { Taken, HeldByAnother, Refused };

// What the setup does with the copy once it holds the installation: fills
// it; or fills it and then renames it to "Events.live", gives it the
// folder's permissions, or removes it.
enum class Act { Fill, Rename, Permissions, Remove };

// One way a user may meet a setup: what is there before it holds the
// installation, how the hold ends, and the user's move between a check and
// its use at a step of the setup (the item in the folder is moved away and
// a link put at its name) while the setup works on a copy.
struct HeldRow {
    const char* what;
    std::function<bool(const std::wstring& folder)> make;  // false: not here
    Hold hold;
    const char* step = nullptr;   // when the user moves, if ever
    const wchar_t* held = L"";    // what the user moves, in the folder
    const wchar_t* copy = L"";    // the copy the setup claims and fills, in the folder
    const wchar_t* effect = L"";  // what the fill makes, in the item moved
    Act act = Act::Fill;
};

class HeldInstallation : public InstallFiles {
protected:
    void SetUp() override {
        writeFile(outside + L"\\keep.txt", "keep");
        writeFile(at(L"Media\\Events\\e.evt"), "event");
        writeFile(at(L"Media\\OrvDb.mdb"), "database");
        before = snapshotTree(outside);
    }

    static bool install(const std::wstring& folder) {
        writeFile(folder + L"\\Events\\old.evt", "old");
        writeFile(folder + L"\\Database\\OrvDb.mdb", "old");
        return true;
    }

    // The path the item has once moved away, or empty when it could not be.
    std::wstring moveAway(const std::wstring& item) {
        if (!MoveFileExW(item.c_str(), (item + L".away").c_str(), 0)) return {};
        EXPECT_TRUE(makeHostLink(item, outside));
        return item + L".away";
    }

    common::Result<> fill(update::InstallFileSystem& setup, const std::wstring& copy) {
        const std::string path = wideToAnsi(copy);
        const bool folder = copy.ends_with(L"Events.new");
        const auto keep = [](const std::string&) { return common::Result<>(); };
        if (auto claimed = setup.claim(path, folder, keep); !claimed) return claimed;
        return folder ? setup.copyFolder(ansiAt(L"Media\\Events"), path)
                      : setup.copyFile(ansiAt(L"Media\\OrvDb.mdb"), path, true);
    }

    // The row's act on the copy; whether it was done.
    bool act(update::InstallFileSystem& setup, const HeldRow& row, const std::wstring& folder) {
        const std::string copy = wideToAnsi(folder + row.copy);
        if (!fill(setup, folder + row.copy)) return false;
        if (row.act == Act::Fill) return true;
        if (row.act == Act::Rename)
            return static_cast<bool>(setup.rename(copy, wideToAnsi(folder + renamedTo)));
        const auto identity = setup.identify(copy);
        if (!identity) return false;
        return static_cast<bool>(row.act == Act::Remove
                                     ? setup.remove(copy, *identity)
                                     : setup.inheritPermissions(copy, *identity));
    }

    void check(const HeldRow& row, const std::wstring& folder) {
        update::InstallFileSystem setup;
        std::wstring moved;
        setup.betweenCheckAndUse = [&](const std::string& step) {
            if (row.step && step == row.step && moved.empty()) moved = moveAway(folder + row.held);
        };
        const auto lock = setup.lockInstallation(wideToAnsi(folder));
        EXPECT_EQ(!lock ? Hold::Refused : *lock ? Hold::Taken : Hold::HeldByAnother, row.hold);
        const bool atHold = row.step && row.step == std::string_view("hold");
        if (atHold) {
            EXPECT_EQ(moved, L"") << "a held folder cannot be moved";
        }
        if (lock && *lock && row.step) {
            // Done on the held item, moved or not; or refused, which a
            // folder that could not be moved never makes it.
            const bool done = act(setup, row, folder);
            EXPECT_TRUE(done || !atHold);
            const std::wstring heldNow = moved.empty() ? folder + row.held : moved;
            const std::wstring effect =
                (row.act == Act::Rename ? folder + renamedTo : heldNow) + row.effect;
            EXPECT_TRUE(!done || fileExists(effect) == (row.act != Act::Remove)) << narrow(moved);
        }
        EXPECT_EQ(snapshotTree(outside), before);
    }

    static constexpr const wchar_t* renamedTo = L"\\Events.live";  // in the folder
    const std::wstring outside = at(L"Outside");
    TreeSnapshot before;
    std::optional<OtherSetup> other;
};

// An installation held by a setup against a user who swaps what lies on the
// way for a link between a check and its use: the setup works on what it
// holds, wherever that is by then, or refuses, and never touches what a
// link points to. Rows without a step prove the hold: no name a user makes
// blocks it, another setup's makes it wait, a link is never held.
TEST_F(HeldInstallation, WorksOnlyOnWhatItHolds) {
    const HeldRow rows[] = {
        {"Database swapped for a link", install, Hold::Taken, "hold", L"\\Database",
         L"\\Database\\OrvDb.mdb.new", L"\\OrvDb.mdb.new"},
        {"the installation folder swapped for a link", install, Hold::Taken, "hold", L"",
         L"\\Events.new", L"\\Events.new\\e.evt"},
        {"the staged copy swapped for a link mid-fill", install, Hold::Taken, "copy",
         L"\\Events.new", L"\\Events.new", L"\\e.evt"},
        {"the staged copy swapped for a link as it goes live", install, Hold::Taken, "rename",
         L"\\Events.new", L"\\Events.new", L"\\e.evt", Act::Rename},
        {"the staged copy swapped for a link as it inherits", install, Hold::Taken, "permissions",
         L"\\Events.new", L"\\Events.new", L"\\e.evt", Act::Permissions},
        {"a copy swapped for a link as it is removed", install, Hold::Taken, "remove",
         L"\\Events.new", L"\\Events.new", L"\\e.evt", Act::Remove},
        {"a folder at the old lock file's name",
         [](const std::wstring& folder) {
             createFolders(folder + L"\\Update.exe-install.lock");
             return install(folder);
         },
         Hold::Taken},
        {"another setup holding it",
         [&](const std::wstring& folder) {
             return install(folder) && other.emplace(wideToAnsi(folder)).holds();
         },
         Hold::HeldByAnother},
        {"a link in its place",
         [&](const std::wstring& folder) { return makeHostLink(folder, outside); }, Hold::Refused},
        {"a link in its Database's place",
         [&](const std::wstring& folder) {
             writeFile(folder + L"\\Events\\old.evt", "old");
             return makeHostLink(folder + L"\\Database", outside);
         },
         Hold::Refused},
    };
    int number = 0;
    for (const HeldRow& row : rows) {
        SCOPED_TRACE(row.what);
        const std::wstring folder = at(L"Orvexa" + std::to_wstring(++number));
        if (row.make(folder)) check(row, folder);  // else no host links here
        other.reset();
    }
}

}  // namespace
