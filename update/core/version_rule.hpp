#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace update {

// Lowest service-pack version this system accepts.
inline constexpr std::string_view minimumVersion = "1.8.2";

inline constexpr std::string_view refusalBelowMinimum =
    "This version cannot be installed in this system";

struct ValidationResult {
    bool allowed = true;
    // Set only when a check refused; the caller shows it to the user.
    std::optional<std::string> refusalText;
};

// Converts one version component: blanks around, optional sign, decimal
// digits, value within int16. Anything else yields nullopt.
std::optional<std::int16_t> convertVersionComponent(std::string_view text);

// Decides whether packVersion may be installed, given the installed
// version text (empty when none could be read).
ValidationResult validateVersion(const std::string& packVersion,
                                 const std::string& installedVersion);

}  // namespace update
