#pragma once

#include <string>

#include "core/wizard.hpp"
#include "common/core/failure.hpp"
#include "win32/ui/form.hpp"

namespace update {

// The wizard window: five pages, Next and Cancel. The page flow is the
// Wizard's; this class is its view.
class frmWelcome final : public forms::Form, public WizardView {
public:
    frmWelcome(HINSTANCE instance, std::string mediaFolder);

    // Creates the window, runs Form_Load and shows it.
    common::Result<> open();
    // The page showing, or the one the window was closed on.
    Page page() const { return page_; }

    void showPage(Page page) override;
    void setTitle(const std::string& title) override;
    void setNextCaption(const std::string& caption) override;
    void setNextEnabled(bool enabled) override;
    std::string nextCaption() const override;
    bool nextEnabled() const override;
    void setBusy(bool busy) override;
    bool showExitConfirmation() override;
    void close() override;

private:
    void onClick(HWND button) override;
    void onDestroyed() override;
    HWND frame(Page page) const;

    std::string mediaFolder_;
    Page page_ = Page::Welcome;
    Wizard wizard_;
};

}  // namespace update
