#include "win32/fn_validate_version.hpp"

#include "core/version_rule.hpp"
#include "win32/md_read_registry.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"
#include "common/win32/ansi_text.hpp"
#include "common/win32/failed_call.hpp"

namespace update {

using common::win32::ansiToWide;

MessageBoxFunction showRefusalMessage = &MessageBoxA;

bool fnValidateVersion(const std::string& packVersion, HWND owner) {
    // Read afresh: the record may have changed since the wizard first looked.
    // Without a readable record the pack is judged by the minimum alone.
    const auto read = GetInstalledVersion();
    if (!read) common::trace(read.failure());
    const std::string installed = read ? *read : std::string();
    const ValidationResult result = validateVersion(packVersion, installed);
    // A version that is no version at all fails without a word to the user.
    const wchar_t* verdict = result.refusalText ? L"Update: version rule refuses the "
                             : result.allowed   ? L"Update: version rule allows the "
                                                : L"Update: the versions cannot be compared: ";
    common::trace(common::concat({verdict, L"pack ", ansiToWide(packVersion), L", installed ",
                                  read ? ansiToWide(installed) : L"not read",
                                  result.refusalText ? L":\n" : L"",
                                  result.refusalText ? ansiToWide(*result.refusalText) : L""}));
    // Refused all the same when the box cannot be shown.
    if (result.refusalText && owner &&
        !showRefusalMessage(owner, result.refusalText->c_str(), "Update", MB_ICONERROR | MB_OK))
        common::trace(FAILED_CALL(MessageBoxA));
    return result.allowed;
}

}  // namespace update
