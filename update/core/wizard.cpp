#include "core/wizard.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"

#include <utility>

namespace update {

using common::isBlank;
using common::traceCurrentException;

namespace {

// A value that could not be read counts as missing; the failure ends here.
bool isFound(const common::Result<std::string>& read) {
    if (!read) common::trace(read.failure());
    return read && !isBlank(*read);
}

// Runs a step the wizard can do without: an exception stops here, is traced
// under `where`, and the wizard goes on. True when the step ran to its end.
template <typename Step>
bool bestEffort(const wchar_t* where, Step&& step) {
    try {
        std::forward<Step>(step)();
        return true;
    } catch (...) {
        traceCurrentException(where);
        return false;
    }
}

}  // namespace

std::optional<std::string> findInstallation(const WizardServices& services) {
    const auto version = services.GetInstalledVersion();
    if (isFound(version)) {
        const auto path = services.GetInstallPath();
        if (isFound(path)) {
            common::trace(
                common::concat({L"Update: product record: version ", common::asciiToWide(*version),
                                L", installation folder ", common::asciiToWide(*path)}));
            return *path;
        }
    }
    common::trace(L"Update: no product record (or a blank one): the product is not installed");
    return std::nullopt;
}

Wizard::Wizard(WizardView& view, WizardServices services)
    : view_(view), services_(std::move(services)) {}

void Wizard::Form_Load() {
    // Start-up never fails visibly: a failing step is skipped.
    bestEffort(L"Form_Load", [&] { view_.showPage(Page::Welcome); });
}

bool Wizard::CheckExistingInstallation() {
    bool missing = true;
    // An error while reading counts as "not found", never as found.
    bestEffort(L"cmdNext_Click: reading the installation record", [&] {
        if (const auto found = findInstallation(services_)) {
            installPath_ = *found;
            missing = false;
        }
    });
    if (missing) {
        bestEffort(L"cmdNext_Click: showing the not-found page",
                   [&] { view_.showPage(Page::NotInstalled); });
        bestEffort(L"cmdNext_Click: disabling Next", [&] { view_.setNextEnabled(false); });
    }
    return missing;
}

void Wizard::ShowInstallationFailed() {
    view_.showPage(Page::InstallationFailed);
    view_.setNextEnabled(false);
}

void Wizard::runInstall() {
    view_.setBusy(true);
    const bool ok = services_.install && services_.install(installPath_);
    if (!ok) {
        ShowInstallationFailed();
        view_.setBusy(false);
        return;
    }
    view_.setBusy(false);
    view_.setTitle("Complete");
    view_.showPage(Page::Final);
    view_.setNextEnabled(false);
}

void Wizard::cmdNext_Click() {
    // One trap covers the whole handler; the failed page is the report.
    const bool handled = bestEffort(L"cmdNext_Click", [&] {
        const std::string caption = view_.nextCaption();
        if (caption == captionNext) {
            if (CheckExistingInstallation()) return;
            view_.setTitle("Install");
            view_.setNextCaption(std::string(captionInstall));
            view_.showPage(Page::Install);
        } else if (caption == captionInstall) {
            runInstall();
        }
    });
    if (handled) return;
    // A second error here has nowhere better to go than the trace.
    bestEffort(L"cmdNext_Click: showing the failed page", [&] { ShowInstallationFailed(); });
    bestEffort(L"cmdNext_Click: ending the busy state", [&] { view_.setBusy(false); });
}

void Wizard::cmdCancel_Click() {
    // An enabled Next button means setup is still in progress: confirm.
    if (view_.nextEnabled()) {
        if (view_.showExitConfirmation()) view_.close();
        return;
    }
    view_.close();
}

}  // namespace update
