#pragma once

#include <functional>

#include "win32/ui/form.hpp"

namespace update {

// The modal exit confirmation laid over the wizard.
class frmExit final : public forms::Form {
public:
    // `endProgram` runs on "Exit Setup" and is not expected to return.
    frmExit(HINSTANCE instance, std::function<void()> endProgram);

    // Shows the confirmation with `owner` disabled; returns when the user resumes.
    void showModal(HWND owner);

private:
    void onClick(HWND button) override;
    void onClose() override;
    void onLayout() override;
    void cmdResume_Click();
    void cmdExit_Click();

    std::function<void()> endProgram_;
    bool done_ = false;
};

}  // namespace update
