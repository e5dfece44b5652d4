#include "core/version_rule.hpp"

#include "common/core/text.hpp"

#include <vector>

namespace update {
namespace {

using common::trimBlanks;

std::vector<std::string_view> splitComponents(std::string_view version) {
    std::vector<std::string_view> parts;
    const std::string_view trimmed = trimBlanks(version);
    std::size_t start = 0;
    while (true) {
        const auto dot = trimmed.find('.', start);
        if (dot == std::string_view::npos) {
            parts.push_back(trimmed.substr(start));
            break;
        }
        parts.push_back(trimmed.substr(start, dot - start));
        start = dot + 1;
    }
    return parts;
}

class Comparison {
public:
    Comparison(std::string_view candidate, std::string_view reference)
        : c_(splitComponents(candidate)), r_(splitComponents(reference)) {}

    // True when the candidate is refused. Sets evaluationFailed when any
    // step could not convert a component it needed.
    bool refuses() {
        // Step 1: all four conversions happen before anything is decided,
        // so a single failure suppresses the step's refusal.
        const auto r0 = component(r_, 0);
        const auto c0 = component(c_, 0);
        const auto r1 = component(r_, 1);
        const auto c1 = component(c_, 1);
        if (r0 && c0 && r1 && c1) {
            if (*r0 > *c0) return true;
            if (*r0 < *c0) return false;  // higher major wins outright
            if (*r1 > *c1) return true;
        } else {
            evaluationFailed = true;
        }

        // Step 2: a failure here proceeds as if the minors were equal.
        const auto c1b = component(c_, 1);
        const auto r1b = component(r_, 1);
        if (c1b && r1b) {
            if (*c1b != *r1b) return false;
        } else {
            evaluationFailed = true;
        }

        // Step 3: third components only matter when minors are equal.
        const auto r2 = component(r_, 2);
        const auto c2 = component(c_, 2);
        if (r2 && c2) return *r2 > *c2;
        evaluationFailed = true;
        return false;
    }

    bool evaluationFailed = false;

private:
    static std::optional<std::int16_t> component(const std::vector<std::string_view>& parts,
                                                 std::size_t index) {
        if (index >= parts.size()) return std::nullopt;
        return convertVersionComponent(parts[index]);
    }

    std::vector<std::string_view> c_;
    std::vector<std::string_view> r_;
};

// Text shown when the pack is older than the installed product.
std::string olderThanInstalledText(const std::string& packVersion,
                                   const std::string& installedVersion) {
    return "This Orvexa version(" + packVersion + ") is older than the existing version(" +
           installedVersion + ")" + "\r\n" +
           "                Cannot Install. Contact Administrator";
}

}  // namespace

std::optional<std::int16_t> convertVersionComponent(std::string_view text) {
    std::string_view s = trimBlanks(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty()) return std::nullopt;
    long value = 0;
    for (const char ch : s) {
        if (ch < '0' || ch > '9') return std::nullopt;
        value = value * 10 + (ch - '0');
        // Bail out early so arbitrarily long digit runs cannot overflow.
        if (value > 32768) return std::nullopt;
    }
    if (negative) value = -value;
    if (value < -32768 || value > 32767) return std::nullopt;
    return static_cast<std::int16_t>(value);
}

ValidationResult validateVersion(const std::string& packVersion,
                                 const std::string& installedVersion) {
    ValidationResult result;
    if (!trimBlanks(packVersion).empty()) {
        Comparison check(packVersion, minimumVersion);
        const bool refused = check.refuses();
        if (check.evaluationFailed) result.allowed = false;
        if (refused) {
            result.allowed = false;
            result.refusalText = std::string(refusalBelowMinimum);
            return result;
        }
    }
    if (!trimBlanks(installedVersion).empty()) {
        Comparison check(packVersion, installedVersion);
        const bool refused = check.refuses();
        if (check.evaluationFailed) result.allowed = false;
        if (refused) {
            result.allowed = false;
            result.refusalText = olderThanInstalledText(packVersion, installedVersion);
        }
    }
    return result;
}

}  // namespace update
