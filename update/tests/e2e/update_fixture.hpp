#pragma once
// A fresh media folder, installation folder and registry record per test, and
// the wizard's window as the user sees it.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "ui_harness.hpp"

namespace update_e2e {

inline constexpr wchar_t kRecordKey[] = L"SOFTWARE\\KVB\\Orvexa";

// Everything a run could change: the installation's files and the record.
struct InstalledState {
    ui_harness::TreeSnapshot files;
    std::optional<std::map<std::wstring, ui_harness::RegKey::Value>> record;
    bool operator==(const InstalledState&) const = default;
};

class UpdateWizardTest : public ::testing::Test {
public:
    std::wstring mediaFolder() const { return root_ / L"media"; }
    std::wstring installFolder() const { return root_ / L"Orvexa"; }

protected:
    void SetUp() override;
    void TearDown() override;

    // Media: a copy of Update.exe, Events\Events\..., Database\OrvDb.mdb and a
    // Version.bin holding `packVersion` between delimiters (none if empty).
    void makeMedia(const std::wstring& packVersion = L"1.9.0");
    // Installation: Events\... with files the pack does not have, and a database.
    void makeInstallation();
    // The record; a missing optional leaves that value out.
    void writeRecord(const std::optional<std::wstring>& version,
                     const std::optional<std::wstring>& installPath);
    void writeRecord(const std::wstring& version) { writeRecord(version, installFolder()); }

    InstalledState installedState() const;
    std::optional<std::wstring> recordedVersion() const;
    // What has reached this test's Unix stderr so far, where Wine writes the
    // debug channels of the programs the test starts (with-stderr-file.sh).
    std::string debugOutput() const;

    void startUpdate(const ui_harness::LaunchOptions& options = {});
    // The name of the one visible page frame; fails the test if not exactly one.
    std::wstring currentPage() const;
    bool waitForPage(const std::wstring& page) const;
    // Clicks Next and waits for the welcome page to be left.
    void clickNextOnWelcome();
    // Clicks Cancel on a page where it opens the confirmation, and returns it.
    ui_harness::Window openExitConfirmation();
    void expectEndsWithin(ui_harness::Millis timeout = ui_harness::kDefaultWait);
    void screenshot(const std::wstring& name, std::optional<ui_harness::Window> of = {}) const;

    std::wstring mediaUpdateExe() const {
        return ui_harness::joinPath(mediaFolder(), L"Update.exe");
    }

    ui_harness::TempFolder root_{L"update-e2e"};
    std::optional<ui_harness::Process> update_;
    ui_harness::Window wizard_;
    ui_harness::Window next_;
    ui_harness::Window cancel_;
};

}  // namespace update_e2e
