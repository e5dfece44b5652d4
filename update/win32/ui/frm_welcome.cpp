#include "win32/ui/frm_welcome.hpp"

#include <utility>

#include "core/command_line.hpp"
#include "win32/install_service_pack.hpp"
#include "win32/md_read_registry.hpp"
#include "win32/run_log.hpp"
#include "win32/ui/frm_exit.hpp"
#include "win32/ui/resource_ids.h"

namespace update {
namespace {

using forms::ControlDesign;
using forms::ControlKind;

constexpr const char* endText = "Click Cancel to exit setup";

ControlDesign frameDesign(const char* name, forms::TwipsRect bounds, int tabIndex) {
    return {ControlKind::Frame, name, name, "", bounds, tabIndex, 0, false};
}

ControlDesign label(const char* name, const char* text, const char* frame, forms::TwipsRect bounds,
                    int tabIndex) {
    return {ControlKind::Label, name, text, frame, bounds, tabIndex};
}

ControlDesign critical(const char* name, const char* frame, int tabIndex) {
    return {ControlKind::PictureBox, name,     "picCritical", frame,
            {0, 480, 570, 645},      tabIndex, IDR_CRITICAL};
}

std::vector<ControlDesign> welcomeControls() {
    return {
        {ControlKind::PictureBox, "Picture1", "Picture1", "", {120, 120, 1815, 3975}, 0, IDR_SETUP},
        {ControlKind::CommandButton,
         "cmdNext",
         std::string(captionNext),
         "",
         {2760, 3120, 1215, 330},
         1},
        {ControlKind::CommandButton, "cmdCancel", "&Cancel", "", {4320, 3120, 1215, 330}, 2},

        frameDesign("fraWelcome", {2160, 360, 4095, 2055}, 3),
        label("lblWarning",
              "It is strongly recommended that you exit Orvexa and all Windows programs before "
              "running this Service Pack.",
              "fraWelcome", {0, 480, 4095, 495}, 4),
        label("lblWelcome", "Welcome to Orvexa Service Pack Setup program", "fraWelcome",
              {0, 0, 3975, 375}, 5),
        label("lblInstruction",
              "Click Cancel to quit Setup and close any programs you have running. Click Next "
              "to continue with the Setup program ",
              "fraWelcome", {0, 1200, 3975, 615}, 6),

        frameDesign("fraInstall", {2160, 360, 4095, 1695}, 7),
        label("lblEnd",
              "You can choose not to install service pack by clicking Cancel to exit setup",
              "fraInstall", {0, 960, 4095, 495}, 8),
        label("lblInstall", "To install service pack click Install", "fraInstall",
              {0, 480, 4095, 255}, 9),
        label("lblUpdate", "Setup will now update your Orvexa application", "fraInstall",
              {0, 0, 3975, 375}, 10),

        frameDesign("fraFinal", {2160, 600, 4095, 1695}, 11),
        label("lblExit", endText, "fraFinal", {0, 720, 4095, 495}, 12),
        label("lblInfo", "Service Pack installed successfully.", "fraFinal", {0, 240, 3975, 375},
              13),

        frameDesign("fraNotInstalled", {2040, 600, 4575, 2175}, 14),
        critical("picCritical0", "fraNotInstalled", 15),
        label("lblEnd1_0", endText, "fraNotInstalled", {720, 1320, 2775, 495}, 16),
        label("lblNoOrvexa0",
              "No existing installation of Orvexa was found on the system.  Please install "
              "Orvexa version 1.9.0 or higher before installing this service pack.",
              "fraNotInstalled", {720, 240, 3375, 975}, 17),

        frameDesign("fraInsttalationFailed", {2040, 600, 4575, 1815}, 18),
        critical("picCritical1", "fraInsttalationFailed", 19),
        label("lblNoOrvexa1", "Installation Failed", "fraInsttalationFailed", {840, 600, 3615, 255},
              20),
        label("lblEnd1_1", endText, "fraInsttalationFailed", {840, 960, 2775, 255}, 21),
    };
}

}  // namespace

frmWelcome::frmWelcome(HINSTANCE instance, std::string mediaFolder)
    : Form(instance),
      mediaFolder_(std::move(mediaFolder)),
      wizard_(*this,
              WizardServices{
                  &GetInstalledVersion,
                  &GetInstallPath,
                  [this](const std::string& installPath) {
                      return InstallServicePack(mediaFolder_, installPath, hwnd()).exitCode ==
                             ExitSuccess;
                  },
              }) {}

common::Result<> frmWelcome::open() {
    if (auto created = create({"Welcome", 6360, 4230, IDI_UPDATE, nullptr}, welcomeControls());
        !created)
        return created;
    wizard_.Form_Load();
    showAndFocus();
    return {};
}

HWND frmWelcome::frame(Page page) const {
    switch (page) {
        case Page::Welcome:
            return control("fraWelcome");
        case Page::Install:
            return control("fraInstall");
        case Page::Final:
            return control("fraFinal");
        case Page::NotInstalled:
            return control("fraNotInstalled");
        case Page::InstallationFailed:
            return control("fraInsttalationFailed");
    }
    return nullptr;
}

void frmWelcome::showPage(Page page) {
    constexpr Page everyPage[] = {Page::Welcome, Page::Install, Page::Final, Page::NotInstalled,
                                  Page::InstallationFailed};
    for (Page other : everyPage)
        if (other != page) ShowWindow(frame(other), SW_HIDE);
    page_ = page;
    HWND current = frame(page);
    SetWindowPos(current, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ShowWindow(current, SW_SHOW);
    // The install step runs without returning to the message loop; paint now.
    UpdateWindow(current);
}

void frmWelcome::setTitle(const std::string& title) { SetWindowTextA(hwnd(), title.c_str()); }

void frmWelcome::setNextCaption(const std::string& caption) {
    SetWindowTextA(control("cmdNext"), caption.c_str());
}

void frmWelcome::setNextEnabled(bool enabled) { enable(control("cmdNext"), enabled); }

std::string frmWelcome::nextCaption() const {
    HWND next = control("cmdNext");
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(next)) + 1, '\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextA(next, text.data(), static_cast<int>(text.size()))));
    return text;
}

bool frmWelcome::nextEnabled() const { return IsWindowEnabled(control("cmdNext")) != FALSE; }

void frmWelcome::setBusy(bool busy) { Form::setBusy(busy); }

bool frmWelcome::showExitConfirmation() {
    frmExit confirmation(instance(), [] {
        // The process ends here, so its log ends here too.
        traceOutcome(L"setup was left with Exit Setup", ExitSuccess);
        finishRunLog();
        ExitProcess(ExitSuccess);
    });
    confirmation.showModal(hwnd());
    return false;  // "Exit Setup" has ended the program; only Resume comes back
}

void frmWelcome::close() { DestroyWindow(hwnd()); }

void frmWelcome::onClick(HWND button) {
    if (button == control("cmdNext")) wizard_.cmdNext_Click();
    if (button == control("cmdCancel")) wizard_.cmdCancel_Click();
}

void frmWelcome::onDestroyed() { PostQuitMessage(0); }

}  // namespace update
