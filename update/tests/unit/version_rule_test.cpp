#include <gtest/gtest.h>

#include "core/version_rule.hpp"

using update::validateVersion;

namespace {
const std::string kTextA = "This version cannot be installed in this system";
}

TEST(VersionComponent, AcceptsDigitsBlanksAndSignWithinInt16) {
    EXPECT_EQ(update::convertVersionComponent(" 12 "), 12);
    EXPECT_EQ(update::convertVersionComponent("-32768"), -32768);
    EXPECT_EQ(update::convertVersionComponent("+32767"), 32767);
    EXPECT_FALSE(update::convertVersionComponent("32768"));
    EXPECT_FALSE(update::convertVersionComponent("40000"));
    EXPECT_FALSE(update::convertVersionComponent("99999999999999999999999"));
    EXPECT_FALSE(update::convertVersionComponent(""));
    EXPECT_FALSE(update::convertVersionComponent("-"));
    EXPECT_FALSE(update::convertVersionComponent("x"));
    EXPECT_FALSE(update::convertVersionComponent("1 2"));
}

TEST(VersionRule, BelowMinimumRefusedWithTextA) {
    for (const char* v : {"1.8.1", "0.9.0", "1.7.9"}) {
        const auto r = validateVersion(v, "");
        EXPECT_FALSE(r.allowed) << v;
        EXPECT_EQ(r.refusalText, kTextA) << v;
    }
}

TEST(VersionRule, HigherMajorOrMinorPasses) {
    EXPECT_TRUE(validateVersion("2.0.0", "").allowed);
    EXPECT_TRUE(validateVersion("2.1.0", "1.9.0").allowed);
    EXPECT_TRUE(validateVersion("1.10.0", "1.9.5").allowed);
    // Third component of 1.9.0 is never needed against 1.8.2.
    EXPECT_TRUE(validateVersion("1.9.0", "").allowed);
    EXPECT_TRUE(validateVersion("1.8.2", "1.8.2").allowed);
    EXPECT_TRUE(validateVersion("1.9.0.7", "1.9.0").allowed);
}

TEST(VersionRule, OlderThanInstalledRefusedWithTextB) {
    const auto r = validateVersion("1.9.1", "1.9.2");
    EXPECT_FALSE(r.allowed);
    EXPECT_EQ(r.refusalText,
              "This Orvexa version(1.9.1) is older than the existing version(1.9.2)\r\n"
              "                Cannot Install. Contact Administrator");
    // The pack version appears untrimmed.
    const auto padded = validateVersion(" 1.9.0 ", "1.10.0");
    ASSERT_TRUE(padded.refusalText);
    EXPECT_NE(padded.refusalText->find("version( 1.9.0 )"), std::string::npos);
}

TEST(VersionRule, EvaluationFailuresGiveFalseWithoutMessage) {
    for (const auto& [pack, installed] : std::initializer_list<std::pair<const char*, const char*>>{
             {"1.9", "1.9.0"}, {"1.9.x", "1.9.0"}, {"1.x.5", ""}, {"40000.9.0", ""}}) {
        const auto r = validateVersion(pack, installed);
        EXPECT_FALSE(r.allowed) << pack;
        EXPECT_FALSE(r.refusalText) << pack;
    }
}

TEST(VersionRule, FailedStepDoesNotRefuseButLaterStepMay) {
    // Steps 1 and 2 fail on the installed minor, yet step 3 still refuses.
    const auto r = validateVersion("1.9.1", "1.x.2");
    EXPECT_FALSE(r.allowed);
    EXPECT_TRUE(r.refusalText);
    // Major 0 would refuse on its own, but C1 'x' stops step 1 refusing.
    const auto s = validateVersion("0.x.5", "");
    EXPECT_FALSE(s.allowed);
    EXPECT_FALSE(s.refusalText);
}

TEST(VersionRule, ChecksSkippedOnBlankInputs) {
    EXPECT_TRUE(validateVersion("   ", "").allowed);
    EXPECT_TRUE(validateVersion("1.9.0", "   ").allowed);
}
