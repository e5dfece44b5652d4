#include <gtest/gtest.h>

#include <stdexcept>

#include "core/command_line.hpp"
#include "core/wizard.hpp"

using namespace update;
using namespace std::string_literals;
using common::Result;

namespace {

class FakeView : public WizardView {
public:
    Page page = Page::Welcome;
    std::string title = "Welcome";
    std::string caption = "&Next";
    bool enabled = true;
    bool busy = false;
    bool exitChosen = false;
    int confirmations = 0;
    bool closed = false;
    bool throwOnTitle = false;

    void showPage(Page p) override { page = p; }
    void setTitle(const std::string& t) override {
        if (throwOnTitle) throw std::runtime_error("title");
        title = t;
    }
    void setNextCaption(const std::string& c) override { caption = c; }
    void setNextEnabled(bool e) override { enabled = e; }
    std::string nextCaption() const override { return caption; }
    bool nextEnabled() const override { return enabled; }
    void setBusy(bool b) override { busy = b; }
    bool showExitConfirmation() override {
        ++confirmations;
        return exitChosen;
    }
    void close() override { closed = true; }
};

class WizardFlow : public ::testing::Test {
protected:
    WizardServices services() {
        return {[this] { return version; }, [this] { return path; },
                [this](const std::string& p) {
                    installedTo = p;
                    busyDuringInstall = view.busy;
                    if (installThrows) throw std::runtime_error("io");
                    return installOk;
                }};
    }
    FakeView view;
    Result<std::string> version = "1.9.0"s;
    Result<std::string> path = "C:\\Orvexa"s;
    bool installOk = true;
    bool installThrows = false;
    bool busyDuringInstall = false;
    std::string installedTo;
};

TEST_F(WizardFlow, MissingOrBlankRecordShowsNotInstalled) {
    const common::Failure notRead = common::win32Failure(L"RegQueryValueExA", 2);
    const std::pair<Result<std::string>, Result<std::string>> cases[] = {
        {notRead, "C:\\O"s}, {"   "s, "C:\\O"s}, {"1.9.0"s, notRead}, {"1.9.0"s, "  "s}};
    for (const auto& [v, p] : cases) {
        view = FakeView();
        version = v;
        path = p;
        Wizard w(view, services());
        w.cmdNext_Click();
        EXPECT_EQ(view.page, Page::NotInstalled);
        EXPECT_FALSE(view.enabled);
        EXPECT_EQ(view.title, "Welcome");
        EXPECT_EQ(view.caption, "&Next");
    }
}

// The product found and installed, a failed or throwing install step, an
// error while leaving the welcome page and a caption the wizard does not know.
TEST_F(WizardFlow, EachClickLeadsToItsPageAndAnUnknownCaptionDoesNothing) {
    const struct {
        const char* what;
        bool installOk, installThrows, throwOnTitle;
        std::string caption;
        int clicks;
        Page page;
        std::string title, captionAfter;
        bool enabled;
    } cases[] = {
        {"product found", true, false, false, "&Next", 1, Page::Install, "Install", "&Install",
         true},
        {"installed", true, false, false, "&Next", 2, Page::Final, "Complete", "&Install", false},
        {"install fails", false, false, false, "&Next", 2, Page::InstallationFailed, "Install",
         "&Install", false},
        {"install throws", true, true, false, "&Next", 2, Page::InstallationFailed, "Install",
         "&Install", false},
        {"title throws", true, false, true, "&Next", 1, Page::InstallationFailed, "Welcome",
         "&Next", false},
        {"unknown caption", true, false, false, "&next", 1, Page::Welcome, "Welcome", "&next",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        view = FakeView();
        view.caption = c.caption;
        view.throwOnTitle = c.throwOnTitle;
        installOk = c.installOk;
        installThrows = c.installThrows;
        installedTo.clear();
        busyDuringInstall = false;
        Wizard w(view, services());
        for (int i = 0; i < c.clicks; ++i) w.cmdNext_Click();
        EXPECT_EQ(view.page, c.page);
        EXPECT_EQ(view.title, c.title);
        EXPECT_EQ(view.caption, c.captionAfter);
        EXPECT_EQ(view.enabled, c.enabled);
        EXPECT_FALSE(view.busy);
        EXPECT_EQ(installedTo, c.clicks == 2 ? "C:\\Orvexa" : "");
        EXPECT_EQ(busyDuringInstall, c.clicks == 2);
    }
}

TEST_F(WizardFlow, CancelConfirmsOnlyWhileNextEnabled) {
    Wizard w(view, services());
    w.cmdCancel_Click();  // user resumes
    EXPECT_EQ(view.confirmations, 1);
    EXPECT_FALSE(view.closed);
    EXPECT_EQ(view.page, Page::Welcome);
    view.exitChosen = true;
    w.cmdCancel_Click();
    EXPECT_TRUE(view.closed);

    view = FakeView();
    view.enabled = false;
    w.cmdCancel_Click();
    EXPECT_EQ(view.confirmations, 0);
    EXPECT_TRUE(view.closed);
}

class ActionsSpy final : public ProgramActions {
public:
    bool logFails = false;
    std::string done;  // what was done, e.g. "log a.log, quiet"

    common::Result<> startLog(const std::wstring& path) override {
        note("log " + std::string(path.begin(), path.end()));
        if (logFails) return common::win32Failure(L"CreateFileW", 3);
        return {};
    }
    void showMessage(const std::wstring& text, bool error) override {
        const bool usage = text.find(L"Update.exe /quiet") != std::wstring::npos;
        note(std::string(error ? "error " : "") + (usage ? "usage box" : "box"));
    }
    RunEnd runWizard() override {
        note("wizard");
        return {ExitSuccess, L""};
    }
    RunEnd runQuiet() override {
        note("quiet");
        return {ExitAnotherSetupRunning, L""};
    }

private:
    void note(const std::string& what) { done += (done.empty() ? "" : ", ") + what; }
};

TEST(CommandLine, EachArgumentListRunsOneModeOrNothing) {
    const std::wstring exe = L"D:\\Update.exe";
    const struct {
        std::vector<std::wstring> args;
        bool logFails;
        int exitCode;
        std::string done;
    } cases[] = {
        {{exe}, false, ExitSuccess, "wizard"},
        {{exe, L"/quiet"}, false, ExitAnotherSetupRunning, "quiet"},
        {{exe, L"/LOG", L"a b.log", L"/Quiet"},
         false,
         ExitAnotherSetupRunning,
         "log a b.log, quiet"},
        {{exe, L"/log", L"a.log"}, false, ExitSuccess, "log a.log, wizard"},
        {{exe, L"/quiet", L"/log", L"a.log"}, true, ExitLogNotCreated, "log a.log"},
        {{exe, L"/log", L"a.log"}, true, ExitLogNotCreated, "log a.log, error box"},
        {{exe, L"/?"}, false, ExitSuccess, "usage box"},
        {{exe, L"/quiet", L"/?"}, false, ExitBadCommandLine, ""},
        {{exe, L"/x", L"/quiet"}, false, ExitBadCommandLine, ""},
        {{exe, L"/quiet", L"/log"}, false, ExitBadCommandLine, ""},
        {{exe, L"/log", L"/quiet"}, false, ExitBadCommandLine, ""},
        {{exe, L"/log", L"", L"/quiet"}, false, ExitBadCommandLine, ""},
        {{exe, L"/quiet", L"/quiet"}, false, ExitBadCommandLine, ""},
        {{exe, L"/log", L"a.log", L"/log", L"b.log"}, false, ExitBadCommandLine, "error usage box"},
        {{exe, L"quiet"}, false, ExitBadCommandLine, "error usage box"},
        {{exe, L"/quiet\u0130"}, false, ExitBadCommandLine, "error usage box"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        ActionsSpy actions;
        actions.logFails = c.logFails;
        EXPECT_EQ(runProgram(c.args, actions), c.exitCode);
        EXPECT_EQ(actions.done, c.done);
    }
}

}  // namespace
