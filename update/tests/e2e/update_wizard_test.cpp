#include "tests/e2e/update_fixture.hpp"

#include "common/win32/unique_any.hpp"

#include <algorithm>

namespace update_e2e {
namespace {

TEST_F(UpdateWizardTest, WithoutARecordTheNotFoundPageClosesAtOnceAndAQuietRunDoesNotApply) {
    makeMedia();
    makeInstallation();
    const auto before = installedState();
    startUpdate();

    next_.click();
    EXPECT_TRUE(waitForPage(L"fraNotInstalled")) << narrow(visiblePages());
    EXPECT_FALSE(next_.enabled());
    screenshot(L"update-not-installed");
    cancel_.click();
    expectEnds();
    EXPECT_TRUE(topLevelWindows(update_->id(), {.title = L"Exit"}).empty());
    EXPECT_EQ(runUnattended({L"/quiet"}), 1642u);
    EXPECT_EQ(installedState(), before);
}

// Nothing is done for a command line that is not valid or a log that cannot
// be made, though the pack would install. The rules of the switches are
// proven where they are parsed; here the real program ends with each code.
TEST_F(UpdateWizardTest, ABadCommandLineOrLogDoesNothing) {
    makeMedia();
    makeInstallation();
    writeRecord(L"1.9.0");
    // A second name of a file elsewhere: appending would write to that file.
    const std::wstring other = root_ / L"other.txt";
    writeFile(other, "not a log");
    ASSERT_TRUE(CreateHardLinkW((root_ / L"link.log").c_str(), other.c_str(), nullptr));
    const auto before = installedState();
    const struct {
        std::vector<std::wstring> arguments;
        DWORD exitCode;
        bool usageShown;
    } cases[] = {
        {{L"/quiet", L"/install"}, 1639, false},
        {{L"/Install"}, 1639, true},
        {{L"/quiet", L"/log", root_ / L"missing\\update.log"}, 1622, false},
        {{L"/quiet", L"/log", root_ / L"link.log"}, 1622, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(narrow(c.arguments.back()));
        if (c.usageShown) {
            update_.emplace(
                Process::start(joinPath(mediaFolder(), L"Update.exe"), {.arguments = c.arguments}));
            const auto box = waitForMessageBox(update_->id(), L"Update");
            EXPECT_NE(box.text.find(L"Update.exe /quiet"), std::wstring::npos) << narrow(box.text);
            box.press(L"OK");
            EXPECT_EQ(update_->waitForExit(), c.exitCode);
        } else {
            EXPECT_EQ(runUnattended(c.arguments), c.exitCode);
        }
        EXPECT_EQ(installedState(), before);
    }
    EXPECT_EQ(readFile(other), "not a log");
}

// Wine's own user32 and setupapi import version.dll; Update.exe loads them
// only after it has restricted the search to the system folder. The wizard
// installs, then a quiet run does the same over the same installation, past
// folders a user made at every name a setup ever used for its lock and
// copies, which it leaves as they are, with a log named with forward slashes.
TEST_F(UpdateWizardTest, InstallReplacesEventsAndDatabaseAndIgnoresAPlantedVersionDll) {
    makeMedia(L"1.9.2");
    std::optional<InstalledState> byWizard;
    for (const bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "/quiet" : "wizard");
        removeTree(installFolder());
        // The last round's check of the plant left its marker.
        removeTree(joinPath(mediaFolder(), L"version.dll.loaded"));
        makeInstallation();
        writeRecord(L"1.9.0");
        const PlantedVersionDll planted(mediaFolder(), {L"Update.exe"});

        // A whole run, so a load at start and one by the install step both count.
        const std::vector<std::wstring> userFolders = {L"Events.new", L"Events.old",
                                                       L"Events.new.1", L"Database\\OrvDb.mdb.new",
                                                       L"Database\\OrvDb.mdb.old"};
        if (quiet) {
            for (const auto& name : userFolders) createFolders(joinPath(installFolder(), name));
            std::wstring log = logFile();
            std::replace(log.begin(), log.end(), L'\\', L'/');
            EXPECT_EQ(runUnattended({L"/quiet", L"/log", log}), 0u);
            EXPECT_NE(readFile(logFile()).find("outcome: installed"), std::string::npos);
            for (const auto& name : userFolders) {
                EXPECT_TRUE(RemoveDirectoryW(joinPath(installFolder(), name).c_str()))
                    << narrow(name);
            }
        } else {
            startUpdate();
            goToInstallPage();
            next_.click();
            ASSERT_TRUE(waitUntil([&] { return wizard_.text() == L"Complete"; }, 30s));
            EXPECT_TRUE(waitForPage(L"fraFinal")) << narrow(visiblePages());
            EXPECT_FALSE(next_.enabled());
            screenshot(L"update-complete");
            cancel_.click();
            expectEnds();
        }

        EXPECT_EQ(snapshotTree(joinPath(installFolder(), L"Events")),
                  snapshotTree(joinPath(mediaFolder(), L"Events\\Events")));
        EXPECT_EQ(readFile(joinPath(installFolder(), L"Database\\OrvDb.mdb")),
                  readFile(joinPath(mediaFolder(), L"Database\\OrvDb.mdb")));
        EXPECT_EQ(readFile(joinPath(installFolder(), L"Orvexa.exe")), "the product itself");
        EXPECT_EQ(recordedVersion(), L"1.9.2");
        EXPECT_FALSE(planted.loaded()) << "Update.exe loaded the planted version.dll";
        EXPECT_TRUE(planted.foundByUnguardedProgram())
            << "the plant is not detected: the check above proves nothing";
        if (byWizard) {
            EXPECT_EQ(installedState(), *byWizard);
        }
        byWizard = installedState();
    }
}

// The rule's texts are proven where it is; here one refusal is shown and the
// failed page follows. The wizard and then a quiet run log to the same file:
// the refusal is in the log of each, and the quiet run shows no box.
TEST_F(UpdateWizardTest, ARefusalShowsItsReasonThenTheFailedPageWithNothingChanged) {
    makeMedia(L"1.9.1");
    makeInstallation();
    writeRecord(L"1.8.0");
    startUpdate({L"/log", logFile()});
    goToInstallPage();
    // The check reads the record afresh, not as the wizard found it.
    writeRecord(L"1.9.2");
    const auto before = installedState();

    next_.click();
    const std::string refusal =
        "This Orvexa version(1.9.1) is older than the existing version(1.9.2)";
    const std::string refusalEnd = "                Cannot Install. Contact Administrator";
    const auto box = waitForMessageBox(update_->id(), L"Update");
    EXPECT_EQ(narrow(box.text), refusal + "\r\n" + refusalEnd);
    EXPECT_EQ(box.buttons, std::vector<std::wstring>{L"OK"});
    screenshot(L"update-refusal", box.window);
    box.press(L"OK");

    EXPECT_TRUE(waitForPage(L"fraInsttalationFailed")) << narrow(visiblePages());
    EXPECT_FALSE(next_.enabled());
    cancel_.click();
    expectEnds();
    EXPECT_EQ(runUnattended({L"/quiet", L"/log", logFile()}), 1642u);
    EXPECT_EQ(installedState(), before);

    std::string log;
    for (const auto& line : logLines()) log += line + "\n";
    const std::string refusalLines = refusal + "\n" + refusalEnd + "\n";
    const auto wizardRefusal = log.find(refusalLines);
    const auto wizardEnd = log.find(
        "Update: outcome: the wizard was closed on its installation-failed page; "
        "exit code 0\n");
    EXPECT_LT(wizardRefusal, wizardEnd) << log;
    EXPECT_NE(log.find(refusalLines, wizardEnd), std::string::npos) << log;
    EXPECT_TRUE(log.ends_with(
        "Update: outcome: the service pack does not apply; nothing changed; exit code 1642\n"))
        << log;
}

// A failed install changes nothing, shows the failed page, and its trace
// and log name why: another program holds a file of the old Events (which
// would stay behind in a renamed copy; under Wine the rename itself does not
// notice it), or a file of the media is not the one the program's record
// names. Repaired, the recorded media install.
TEST_F(UpdateWizardTest, AFailedInstallLeavesTheInstallationAsItWasAndTracesWhy) {
    const struct {
        const wchar_t* program;
        DWORD code;
        std::string traced;
        std::string outcome;
    } rows[] = {
        {L"UPDATE_EXE", 1603, "NtCreateFile failed: error 32",
         "the service pack was not installed"},
        {L"UPDATE_EXE_WITH_RECORD", 1620,
         "Update: the media do not hold the pack this program records: "
         "Events\\Events\\Shift\\night.evt: other digest",
         "the media do not hold the service pack; nothing changed"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.traced);
        removeTree(mediaFolder());
        removeTree(installFolder());
        removeTree(logFile());
        makeMedia(L"1.9.0", row.program);
        const std::wstring damaged = joinPath(mediaFolder(), L"Events\\Events\\Shift\\night.evt");
        const bool recorded = row.code == 1620;
        if (recorded) writeFile(damaged, std::string("PACK\0night", 10));
        makeInstallation();
        writeRecord(L"1.8.2");
        const auto before = installedState();
        const auto earlierOutput = debugOutput().size();
        {
            const common::win32::UniqueFile file(
                recorded ? INVALID_HANDLE_VALUE
                         : CreateFileW(joinPath(installFolder(), L"Events\\Old\\gone.evt").c_str(),
                                       GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_EQ(static_cast<bool>(file), !recorded);
            startUpdate();
            goToInstallPage();
            next_.click();
            EXPECT_TRUE(waitForPage(L"fraInsttalationFailed")) << narrow(visiblePages());
            if (!recorded) screenshot(L"update-failed");
            EXPECT_FALSE(next_.enabled());
            cancel_.click();
            expectEnds();
            EXPECT_EQ(runUnattended({L"/quiet", L"/log", logFile()}), row.code);
        }
        EXPECT_EQ(installedState(), before);
        // Wine writes a backslash of the trace as two.
        std::string traced = "OutputDebugStringA \"";
        for (const char c : row.traced) c == '\\' ? traced.append("\\\\") : traced.append(1, c);
        EXPECT_TRUE(waitUntil([&] {
            return debugOutput().find(traced, earlierOutput) != std::string::npos;
        })) << "no trace line "
            << traced;
        const auto lines = logLines();
        EXPECT_TRUE(
            std::ranges::any_of(lines, [&](const auto& l) { return l.starts_with(row.traced); }));
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(),
                  "Update: outcome: " + row.outcome + "; exit code " + std::to_string(row.code));
        if (!recorded) continue;
        writeFile(damaged, std::string("pack\0night", 10));
        EXPECT_EQ(runUnattended({L"/quiet"}), 0u);
        EXPECT_EQ(recordedVersion(), L"1.9.0");
    }
}

}  // namespace
}  // namespace update_e2e
