#include "win32/fn_validate_version.hpp"

#include "core/version_rule.hpp"
#include "win32/md_read_registry.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"
#include "common/win32/failed_call.hpp"

namespace update {

MessageBoxFunction showRefusalMessage = &MessageBoxA;

bool fnValidateVersion(const std::string& packVersion, HWND owner) {
    // Read afresh: the record may have changed since the wizard first looked.
    // Without a readable record the pack is judged by the minimum alone.
    const auto read = GetInstalledVersion();
    if (!read) common::trace(read.failure());
    const std::string installed = read ? *read : std::string();
    const ValidationResult result = validateVersion(packVersion, installed);
    if (result.refusalText) {
        // Refused all the same when the box cannot be shown.
        if (!showRefusalMessage(owner, result.refusalText->c_str(), "Update", MB_ICONERROR | MB_OK))
            common::trace(FAILED_CALL(MessageBoxA));
    } else if (!result.allowed) {
        // A version that is no version at all fails without a word to the user.
        common::trace(L"Update: the versions cannot be compared: pack " +
                      common::asciiToWide(packVersion) + L", installed " +
                      common::asciiToWide(installed));
    }
    return result.allowed;
}

}  // namespace update
