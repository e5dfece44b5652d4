#include <gtest/gtest.h>

#include "core/version_rule.hpp"

using namespace update;

TEST(VersionRule, ComponentsAreSignedDecimalsWithinInt16) {
    const std::pair<const char*, std::optional<std::int16_t>> cases[] = {
        {" 12 ", 12},
        {"-32768", -32768},
        {"+32767", 32767},
        {"32768", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"x", std::nullopt},
        {"1 2", std::nullopt},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(convertVersionComponent(text), value) << text;
}

TEST(VersionRule, AllowsRefusesWithItsTextOrFailsSilently) {
    enum Refusal { None, BelowMinimum, Older };
    const struct {
        const char* pack;
        const char* installed;
        bool allowed;
        Refusal refusal;
    } cases[] = {
        {"2.0.0", "", true, None},
        {"2.1.0", "1.9.0", true, None},
        {"1.10.0", "1.9.5", true, None},
        {"1.9.0", "", true, None},  // the third component is never needed here
        {"1.8.2", "1.8.2", true, None},
        {"1.9.0.7", "1.9.0", true, None},
        {"   ", "", true, None},  // blank inputs skip the checks
        {"1.9.0", "   ", true, None},
        {"1.8.1", "", false, BelowMinimum},
        {"0.9.0", "", false, BelowMinimum},
        {"1.7.9", "", false, BelowMinimum},
        {"1.9.1", "1.9.2", false, Older},
        {" 1.9.0 ", "1.10.0", false, Older},  // the pack version shown as given, blanks included
        {"1.9.1", "1.x.2", false, Older},     // a failed step does not stop a later one refusing
        {"1.9", "1.9.0", false, None},
        {"1.9.x", "1.9.0", false, None},
        {"1.x.5", "", false, None},
        {"0.x.5", "", false, None},  // major 0 alone would refuse, 'x' stops the step
        {"40000.9.0", "", false, None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pack) + " over " + c.installed);
        const std::optional<std::string> texts[] = {
            std::nullopt, "This version cannot be installed in this system",
            "This Orvexa version(" + std::string(c.pack) + ") is older than the existing version(" +
                c.installed + ")\r\n                Cannot Install. Contact Administrator"};
        const auto result = validateVersion(c.pack, c.installed);
        EXPECT_EQ(result.allowed, c.allowed);
        EXPECT_EQ(result.refusalText, texts[c.refusal]);
    }
}
