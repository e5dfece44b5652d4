// Update.exe ended with TerminateProcess while it installs a large pack, then
// started again and run to the end; and a second Update.exe meeting the first.
#include "tests/e2e/update_fixture.hpp"

#include "common/core/text.hpp"
#include "common/win32/unique_any.hpp"

#include <filesystem>
#include <functional>
#include <set>

namespace update_e2e {
namespace {

constexpr int bulkFolders = 40;
constexpr int filesPerFolder = 50;
constexpr Millis installWait = 180s;

// The install step as seen from outside while it runs: its journal (one
// "<step> [<name> <identity>]" line per step, in the registry) and the
// folders it names.
class Progress {
public:
    explicit Progress(std::wstring installFolder) : folder_(std::move(installFolder)) {}

    // False when there is no journal (not yet, or no more).
    bool read() {
        journal_.clear();
        const auto journals = RegKey::open(HKEY_LOCAL_MACHINE, journalsKey);
        wchar_t run[64];
        DWORD length = 64;
        if (!journals || RegEnumKeyExW(journals->get(), 0, run, &length, nullptr, nullptr, nullptr,
                                       nullptr) != ERROR_SUCCESS)
            return false;
        const auto key = RegKey::open(journals->get(), run);
        if (!key) return false;
        const auto values = key->values();
        if (const auto text = values.find(L"Journal"); text != values.end())
            journal_ = text->second.bytes;
        return true;
    }
    bool has(const std::string& step) const { return journal_.find(step) != std::string::npos; }
    // Entries directly in the folder the step's line names; 0 when it is not there.
    int entriesOf(const std::string& step) const {
        const auto at = journal_.find(step + " ");
        const auto end = journal_.find(' ', at + step.size() + 1);
        if (at == std::string::npos || end == std::string::npos) return 0;
        const auto name = journal_.substr(at + step.size() + 1, end - at - step.size() - 1);
        return static_cast<int>(namesIn(joinPath(folder_, common::asciiToWide(name))).size());
    }

    static std::set<std::wstring> namesIn(const std::wstring& folder) {
        std::set<std::wstring> names;
        std::error_code error;  // the step may remove the folder meanwhile
        for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error))
            names.insert(it->path().filename().wstring());
        return names;
    }

private:
    std::wstring folder_;
    std::string journal_;
};

class InstallRecovery : public UpdateWizardTest {
protected:
    void SetUp() override {
        UpdateWizardTest::SetUp();
        makeMedia(L"1.9.2");
        makeInstallation();
        // About 2,000 files, so copying, flushing and removing each take a
        // while; from the second run on, the installed Events holds as many.
        for (int f = 0; f < bulkFolders; ++f)
            for (int n = 0; n < filesPerFolder; ++n)
                writeFile(mediaFolder() + L"\\Events\\Events\\Bulk" + std::to_wstring(f) + L"\\e" +
                              std::to_wstring(n) + L".evt",
                          "event " + std::to_string(f * 1000 + n) + "\r\n");
        mediaEvents_ = snapshotTree(joinPath(mediaFolder(), L"Events\\Events"));
    }

    // What a run replaces: an older recorded version, the installed database
    // and a file only the old Events holds.
    void prepareRun() {
        writeRecord(L"1.9.0");
        writeFile(joinPath(installFolder(), L"Database\\OrvDb.mdb"), "installed database");
        writeFile(joinPath(installFolder(), L"Events\\Old\\gone.evt"), "only in the old folder");
    }

    void startInstall() {
        startUpdate();
        goToInstallPage();
        next_.click();
    }

    // Starts Install and ends Update with TerminateProcess once `reached`
    // holds, or the step is over (its journal gone). The window is not asked
    // anything meanwhile: it does not answer while it installs. True when
    // Update was ended inside the step, its journal still in the installation.
    bool killWhen(const std::function<bool(const Progress&)>& reached) {
        startInstall();
        Progress progress(installFolder());
        bool begun = false;
        bool inside = false;
        const auto deadline = std::chrono::steady_clock::now() + installWait;
        while (std::chrono::steady_clock::now() < deadline) {
            inside = progress.read();
            begun = begun || inside;
            if (reached(progress) || (begun && !inside)) break;
            Sleep(5);
        }
        update_->kill();
        return inside && progress.read();
    }

    // The pack is installed, and nothing else is left in the installation.
    void expectInstalled() {
        EXPECT_EQ(snapshotTree(joinPath(installFolder(), L"Events")), mediaEvents_);
        EXPECT_EQ(readFile(joinPath(installFolder(), L"Database\\OrvDb.mdb")),
                  readFile(joinPath(mediaFolder(), L"Database\\OrvDb.mdb")));
        EXPECT_EQ(recordedVersion(), L"1.9.2");
        EXPECT_EQ(Progress::namesIn(installFolder()),
                  (std::set<std::wstring>{L"Database", L"Events", L"Orvexa.exe"}));
        EXPECT_EQ(Progress::namesIn(joinPath(installFolder(), L"Database")),
                  std::set<std::wstring>{L"OrvDb.mdb"});
        EXPECT_FALSE(Progress(installFolder()).read()) << "a journal is left";
    }

    // GetWindowTextW reads another process's title without asking the
    // window, which does not answer while it installs.
    bool waitForComplete() const {
        return waitUntil(
            [&] {
                wchar_t title[32] = {};
                GetWindowTextW(wizard_.handle(), title, 32);
                return std::wstring(title) == L"Complete";
            },
            installWait);
    }

    // Runs Update to its end with a pack of the version: the one installed
    // completes; an older one is refused against the version the interrupted
    // run's completion has recorded. Either way nothing is rolled back.
    void expectNextRunEndsInstalled(const std::string& pack) {
        writeFile(joinPath(mediaFolder(), L"Version.bin"), "[" + pack + "]\r\n");
        startInstall();
        if (pack == "1.9.2") {
            ASSERT_TRUE(waitForComplete());
            EXPECT_TRUE(waitForPage(L"fraFinal")) << narrow(visiblePages());
        } else {
            // The refusal of 1.9.1 shows that the completion recorded 1.9.2 first.
            // Asking no window: the wizard answers none while it completes the run.
            HWND ok = nullptr;
            ASSERT_TRUE(
                waitUntil([&] { return ok = GetDlgItem(FindWindowW(L"#32770", L"Update"), IDOK); },
                          installWait));
            Window(ok).click();
            EXPECT_TRUE(waitForPage(L"fraInsttalationFailed")) << narrow(visiblePages());
        }
        expectInstalled();
        update_->kill();  // closing the last page is proven elsewhere
    }

    TreeSnapshot mediaEvents_;
};

TEST_F(InstallRecovery, KilledAnywhereThenRunAgainEndsInstalled) {
    // Points in the order the step passes them. Short steps are often
    // overtaken before the test sees them; the kill then lands a little later.
    const int staged = 3 + bulkFolders;  // entries of the pack's Events
    struct Point {
        const char* name;
        std::function<bool(const Progress&)> reached;
        std::string nextPack = "1.9.2";
    };
    const Point points[] = {
        {"staged copies claimed", [](const Progress& p) { return p.has("claim-database"); }},
        {"half staged",
         [=](const Progress& p) { return p.entriesOf("claim-events") > staged / 2; }},
        {"staged copy being flushed",
         [=](const Progress& p) { return p.entriesOf("claim-events") == staged; }},
        {"database staged", [](const Progress& p) { return p.has("fill-database"); }},
        {"Events set aside", [](const Progress& p) { return p.has("aside-events"); }},
        {"database set aside", [](const Progress& p) { return p.has("aside-database"); }},
        {"both swaps done", [](const Progress& p) { return p.has("commit"); }, "1.9.1"},
        {"removing the aside copies", [](const Progress& p) { return p.has("installed"); }},
        {"aside copy half removed",
         [=](const Progress& p) {
             return p.has("installed") && p.entriesOf("aside-events") < staged / 2;
         }},
    };
    int interrupted = 0;
    for (const auto& point : points) {
        SCOPED_TRACE(point.name);
        prepareRun();
        interrupted += killWhen(point.reached);
        expectNextRunEndsInstalled(point.nextPack);
        if (HasFatalFailure()) return;
    }
    // Most points lie inside the step; were the kills all too late, the loop proved little.
    EXPECT_GE(interrupted, static_cast<int>(std::size(points)) / 2);
}

// A second Update clicks Install while the first copies: it finds the
// installation held and shows its failed page at once, saying why in its
// trace; a quiet one ends with the code that tells deployment tools to retry.
// The first completes undisturbed.
TEST_F(InstallRecovery, ASecondSetupMeetingTheFirstFailsAndTheFirstCompletes) {
    prepareRun();
    startUpdate();
    goToInstallPage();
    Process second = std::move(*update_);
    const Window secondWizard = wizard_;
    const Window secondNext = next_;
    const auto earlierOutput = debugOutput().size();
    startInstall();
    Progress progress(installFolder());
    ASSERT_TRUE(waitUntil([&] { return progress.read() && progress.entriesOf("claim-events") > 0; },
                          installWait));

    secondNext.click();
    EXPECT_TRUE(waitForPage(L"fraInsttalationFailed", secondWizard));
    EXPECT_EQ(runUnattended({L"/quiet"}), 1618u);
    EXPECT_TRUE(progress.read()) << "the first setup ended before the others met it";
    EXPECT_NE(debugOutput().find("another setup holds the installation", earlierOutput),
              std::string::npos);
    second.kill();
    ASSERT_TRUE(waitForComplete());
    expectInstalled();
}

}  // namespace
}  // namespace update_e2e
