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
    const std::string belowMinimum(kRefusalBelowMinimum);
    const std::string older =
        "This Orvexa version(1.9.1) is older than the existing version(1.9.2)"
        "\r\n                Cannot Install. Contact Administrator";
    const struct {
        const char* pack;
        const char* installed;
        bool allowed;
        std::optional<std::string> refusal;
    } cases[] = {
        {"2.0.0", "", true, std::nullopt},
        {"2.1.0", "1.9.0", true, std::nullopt},
        {"1.10.0", "1.9.5", true, std::nullopt},
        {"1.9.0", "", true, std::nullopt},  // the third component is never needed here
        {"1.8.2", "1.8.2", true, std::nullopt},
        {"1.9.0.7", "1.9.0", true, std::nullopt},
        {"   ", "", true, std::nullopt},  // blank inputs skip the checks
        {"1.9.0", "   ", true, std::nullopt},
        {"1.8.1", "", false, belowMinimum},
        {"0.9.0", "", false, belowMinimum},
        {"1.7.9", "", false, belowMinimum},
        {"1.9.1", "1.9.2", false, older},
        {"1.9.1", "1.x.2", false,
         olderThanInstalledText("1.9.1",
                                "1.x.2")},  // a failed step does not stop a later one refusing
        {"1.9", "1.9.0", false, std::nullopt},
        {"1.9.x", "1.9.0", false, std::nullopt},
        {"1.x.5", "", false, std::nullopt},
        {"0.x.5", "", false, std::nullopt},  // major 0 alone would refuse, 'x' stops the step
        {"40000.9.0", "", false, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pack) + " over " + c.installed);
        const auto result = validateVersion(c.pack, c.installed);
        EXPECT_EQ(result.allowed, c.allowed);
        EXPECT_EQ(result.refusalText, c.refusal);
    }
    // The pack version appears as given, blanks included.
    EXPECT_EQ(validateVersion(" 1.9.0 ", "1.10.0").refusalText,
              olderThanInstalledText(" 1.9.0 ", "1.10.0"));
    EXPECT_NE(olderThanInstalledText(" 1.9.0 ", "1.10.0").find("version( 1.9.0 )"),
              std::string::npos);
}
