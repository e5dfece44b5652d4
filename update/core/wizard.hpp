#pragma once

#include <functional>
#include <optional>
#include <string>

#include "common/core/failure.hpp"

namespace update {

enum class Page { Welcome, Install, Final, NotInstalled, InstallationFailed };

inline constexpr std::string_view captionNext = "&Next";
inline constexpr std::string_view captionInstall = "&Install";

// The window as the controller sees it. The caption and enabled state of
// the Next button are the wizard's state, so they are read back from here.
class WizardView {
public:
    virtual ~WizardView() = default;
    virtual void showPage(Page page) = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual void setNextCaption(const std::string& caption) = 0;
    virtual void setNextEnabled(bool enabled) = 0;
    virtual std::string nextCaption() const = 0;
    virtual bool nextEnabled() const = 0;
    virtual void setBusy(bool busy) = 0;
    // Modal; true when the user chose to exit setup.
    virtual bool showExitConfirmation() = 0;
    virtual void close() = 0;
};

struct WizardServices {
    std::function<common::Result<std::string>()> GetInstalledVersion;
    std::function<common::Result<std::string>()> GetInstallPath;
    // Runs the install step for the folder found; true on success.
    std::function<bool(const std::string& installPath)> install;
};

// The installation folder the product's record names; nothing when the
// record is missing or blank. What it found is traced.
std::optional<std::string> findInstallation(const WizardServices& services);

class Wizard {
public:
    Wizard(WizardView& view, WizardServices services);

    void Form_Load();
    void cmdNext_Click();
    void cmdCancel_Click();

    // Folder found by the installation check; empty until then.
    const std::string& installPath() const { return installPath_; }

private:
    // True when the product was not found (the not-found page is showing).
    bool CheckExistingInstallation();
    void ShowInstallationFailed();
    void runInstall();

    WizardView& view_;
    WizardServices services_;
    std::string installPath_;
};

}  // namespace update
