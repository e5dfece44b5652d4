#pragma once
// A fresh media folder, installation folder and registry record per test, and
// the wizard's window as the user sees it.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ui_harness.hpp"

namespace update_e2e {

using namespace ui_harness;
using namespace std::chrono_literals;

inline constexpr wchar_t recordKey[] = L"SOFTWARE\\KVB\\Orvexa";
inline constexpr wchar_t journalsKey[] = L"SOFTWARE\\KVB\\Orvexa\\Update journals";

// Everything a run could change: the installation's files and the record.
struct InstalledState {
    TreeSnapshot files;
    std::optional<std::map<std::wstring, RegKey::Value>> record;
    bool operator==(const InstalledState&) const = default;
};

class UpdateWizardTest : public ::testing::Test {
protected:
    void SetUp() override { RegKey::deleteTree(HKEY_LOCAL_MACHINE, recordKey); }
    void TearDown() override {
        update_.reset();  // kills it
        RegKey::deleteTree(HKEY_LOCAL_MACHINE, recordKey);
    }

    std::wstring mediaFolder() const { return root_ / L"media"; }
    std::wstring installFolder() const { return root_ / L"Orvexa"; }

    // Media: a copy of Update.exe, Events\Events\..., Database\OrvDb.mdb and a
    // Version.bin holding `packVersion` between delimiters (none if empty).
    // The program UPDATE_EXE_WITH_RECORD carries the record of these media
    // with version 1.9.0 (pack-record.txt).
    void makeMedia(const std::wstring& packVersion = L"1.9.0",
                   const wchar_t* program = L"UPDATE_EXE") {
        const auto media = mediaFolder();
        copyFile(pathFromEnvironment(program), joinPath(media, L"Update.exe"));
        writeFile(joinPath(media, L"Events\\Events\\alarms.evt"), "pack alarms\r\n");
        writeFile(joinPath(media, L"Events\\Events\\Shift\\night.evt"),
                  std::string("pack\0night", 10));
        createFolders(joinPath(media, L"Events\\Events\\Empty"));
        writeFile(joinPath(media, L"Database\\OrvDb.mdb"),
                  std::string("pack database\0\x01\xff", 16));
        if (!packVersion.empty())
            writeFile(joinPath(media, L"Version.bin"), "\t\r\n[" + narrow(packVersion) + "]\r\n");
    }

    // Installation: Events\... with files the pack does not have, and a database.
    void makeInstallation() {
        const auto install = installFolder();
        writeFile(joinPath(install, L"Events\\alarms.evt"), "installed alarms\r\n");
        writeFile(joinPath(install, L"Events\\Old\\gone.evt"), "only in the old folder");
        writeFile(joinPath(install, L"Database\\OrvDb.mdb"), "installed database");
        writeFile(joinPath(install, L"Orvexa.exe"), "the product itself");
    }

    void writeRecord(const std::wstring& version) {
        const auto key = RegKey::create(HKEY_LOCAL_MACHINE, recordKey);
        key.setString(L"Version", version);
        key.setString(L"Installpath", installFolder());
    }

    InstalledState installedState() const {
        InstalledState state{snapshotTree(installFolder()), std::nullopt};
        if (const auto key = RegKey::open(HKEY_LOCAL_MACHINE, recordKey))
            state.record = key->values();
        return state;
    }

    std::optional<std::wstring> recordedVersion() const {
        const auto key = RegKey::open(HKEY_LOCAL_MACHINE, recordKey);
        return key ? key->readString(L"Version") : std::nullopt;
    }

    void startUpdate(std::vector<std::wstring> arguments = {}) {
        update_.emplace(
            Process::start(joinPath(mediaFolder(), L"Update.exe"), {.arguments = arguments}));
        wizard_ = update_->waitForWindow({.title = L"Welcome", .className = L"UpdateForm"});
        next_ = findControl(wizard_, {.text = L"&Next", .className = L"Button"});
        cancel_ = findControl(wizard_, {.text = L"&Cancel", .className = L"Button"});
        ASSERT_TRUE(waitForPage(L"fraWelcome"));
    }

    // The names of the visible page frames, each followed by a blank.
    std::wstring visiblePages() const { return visiblePages(wizard_); }
    static std::wstring visiblePages(const Window& wizard) {
        std::wstring names;
        for (const auto& page :
             findControls(wizard, {.className = L"UpdateFrame", .visibleOnly = true}))
            names += page.text() + L" ";
        return names;
    }
    bool waitForPage(const std::wstring& page) const { return waitForPage(page, wizard_); }
    static bool waitForPage(const std::wstring& page, const Window& wizard) {
        return waitUntil([&] { return visiblePages(wizard) == page + L" "; });
    }

    void goToInstallPage() {
        next_.click();
        ASSERT_TRUE(waitForPage(L"fraInstall")) << narrow(visiblePages());
    }

    // Clicks Cancel on a page where it opens the confirmation, and returns it.
    Window openExitConfirmation() {
        cancel_.click();
        return update_->waitForWindow({.title = L"Exit", .className = L"UpdateForm"});
    }

    // The programs' trace so far: Wine writes OutputDebugString text as a
    // warning of its seh channel to this test's stderr (with-stderr-file.sh).
    static std::string debugOutput() { return readFile(pathFromEnvironment(L"UPDATE_E2E_STDERR")); }

    // Update.exe started with the arguments and left alone: its exit code, or
    // nothing when it did not end by itself, as a window waiting for a click
    // would keep it. No window may show meanwhile.
    std::optional<DWORD> runUnattended(std::vector<std::wstring> arguments) const {
        const auto update =
            Process::start(joinPath(mediaFolder(), L"Update.exe"), {.arguments = arguments});
        EXPECT_TRUE(topLevelWindows(update.id()).empty());
        return update.waitForExit(30s);
    }

    std::wstring logFile() const { return root_ / L"update.log"; }
    // The log's lines, each without its time and process.
    std::vector<std::string> logLines() const {
        std::vector<std::string> lines;
        const std::string text = readFile(logFile());
        for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos;
             at = end + 2) {
            const std::size_t textAt = text.find("] ", at) + 2;
            lines.push_back(text.substr(textAt, end - textAt));
        }
        return lines;
    }

    void expectEnds() { EXPECT_TRUE(update_->waitForExit()) << "Update.exe is still running"; }

    void screenshot(const std::wstring& name, std::optional<Window> of = {}) const {
        saveScreenshot(of.value_or(wizard_), name);
    }

    TempFolder root_{L"update-e2e"};
    std::optional<Process> update_;
    Window wizard_, next_, cancel_;
};

}  // namespace update_e2e
