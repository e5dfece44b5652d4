#include "tests/e2e/update_fixture.hpp"

namespace update_e2e {

using namespace ui_harness;

void UpdateWizardTest::SetUp() { RegKey::deleteTree(HKEY_LOCAL_MACHINE, kRecordKey); }

void UpdateWizardTest::TearDown() {
    if (update_) update_->kill();
    update_.reset();
    RegKey::deleteTree(HKEY_LOCAL_MACHINE, kRecordKey);
}

void UpdateWizardTest::makeMedia(const std::wstring& packVersion) {
    const auto media = mediaFolder();
    copyFile(pathFromEnvironment(L"UPDATE_EXE"), mediaUpdateExe());
    writeFile(joinPath(media, L"Events\\Events\\alarms.evt"), "pack alarms\r\n");
    writeFile(joinPath(media, L"Events\\Events\\Shift\\night.evt"), std::string("pack\0night", 10));
    createFolders(joinPath(media, L"Events\\Events\\Empty"));
    writeFile(joinPath(media, L"Database\\OrvDb.mdb"), std::string("pack database\0\x01\xff", 16));
    if (!packVersion.empty())
        writeFile(joinPath(media, L"Version.bin"), "\t\r\n[" + narrow(packVersion) + "]\r\n");
}

void UpdateWizardTest::makeInstallation() {
    const auto install = installFolder();
    writeFile(joinPath(install, L"Events\\alarms.evt"), "installed alarms\r\n");
    writeFile(joinPath(install, L"Events\\Old\\gone.evt"), "only in the old folder");
    writeFile(joinPath(install, L"Database\\OrvDb.mdb"), "installed database");
    writeFile(joinPath(install, L"Orvexa.exe"), "the product itself");
}

void UpdateWizardTest::writeRecord(const std::optional<std::wstring>& version,
                                   const std::optional<std::wstring>& installPath) {
    const auto key = RegKey::create(HKEY_LOCAL_MACHINE, kRecordKey);
    if (version) key.setString(L"Version", *version);
    if (installPath) key.setString(L"Installpath", *installPath);
}

InstalledState UpdateWizardTest::installedState() const {
    InstalledState state{snapshotTree(installFolder()), std::nullopt};
    if (const auto key = RegKey::open(HKEY_LOCAL_MACHINE, kRecordKey)) state.record = key->values();
    return state;
}

std::optional<std::wstring> UpdateWizardTest::recordedVersion() const {
    const auto key = RegKey::open(HKEY_LOCAL_MACHINE, kRecordKey);
    return key ? key->readString(L"Version") : std::nullopt;
}

std::string UpdateWizardTest::debugOutput() const {
    return readFile(pathFromEnvironment(L"UPDATE_E2E_STDERR"));
}

void UpdateWizardTest::startUpdate(const LaunchOptions& options) {
    update_.emplace(Process::start(mediaUpdateExe(), options));
    wizard_ = update_->waitForWindow({.title = L"Welcome", .className = L"UpdateForm"});
    next_ = findControl(wizard_, {.text = L"&Next", .className = L"Button"});
    cancel_ = findControl(wizard_, {.text = L"&Cancel", .className = L"Button"});
    ASSERT_TRUE(waitForPage(L"fraWelcome"));
}

std::wstring UpdateWizardTest::currentPage() const {
    const auto pages = findControls(wizard_, {.className = L"UpdateFrame", .visibleOnly = true});
    std::wstring names;
    for (const auto& page : pages) names += page.text() + L" ";
    if (pages.size() != 1) {
        ADD_FAILURE() << "visible pages: " << narrow(names);
        return {};
    }
    return pages.front().text();
}

bool UpdateWizardTest::waitForPage(const std::wstring& page) const {
    return waitUntil([&] {
        const auto pages =
            findControls(wizard_, {.className = L"UpdateFrame", .visibleOnly = true});
        return pages.size() == 1 && pages.front().text() == page;
    });
}

void UpdateWizardTest::clickNextOnWelcome() {
    next_.click();
    ASSERT_TRUE(waitUntil([&] {
        return findControls(wizard_, {.text = L"fraWelcome", .visibleOnly = true}).empty();
    })) << "the welcome page stayed";
}

Window UpdateWizardTest::openExitConfirmation() {
    cancel_.click();
    return update_->waitForWindow({.title = L"Exit", .className = L"UpdateForm"});
}

void UpdateWizardTest::expectEndsWithin(Millis timeout) {
    EXPECT_TRUE(update_->waitForExit(timeout).has_value()) << "Update.exe is still running";
}

void UpdateWizardTest::screenshot(const std::wstring& name, std::optional<Window> of) const {
    saveScreenshot(of ? *of : wizard_, name);
}

}  // namespace update_e2e
