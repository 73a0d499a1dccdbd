// The version and text rules the installer's decisions hang on.

#include "versions.h"

#include <gtest/gtest.h>

#include "config.h"

namespace installer {
namespace {

TEST(ParseFirstNumber, TakesTheFirstRunOfDigitsAndEndsAfterIt) {
    struct Case {
        const char* text;
        bool found;
        int value;
        std::size_t end;
    } cases[] = {
        {"8.5", true, 8, 2},
        {"v10.2", true, 10, 4},
        {"OX-VISA 4.4.1", true, 4, 10},
        {"5.1.2600", true, 5, 2},
        {"007", true, 7, 4},
        {"no digits", false, -1, 0},
        {"", false, -1, 0},
        {"99999999999.1", false, -1, 12},  // beyond 32 bits: no number, the end still moves
    };
    for (const Case& c : cases) {
        const FirstNumber n = ParseFirstNumber(c.text);
        EXPECT_EQ(n.found, c.found) << c.text;
        EXPECT_EQ(n.value, c.value) << c.text;
        EXPECT_EQ(n.end, c.end) << c.text;
    }
}

TEST(SplitVersion, SkipsOneSeparatorAfterEachPartAndLeavesMissingPartsAtMinusOne) {
    struct Case {
        const char* text;
        int major, minor, third;
    } cases[] = {
        {"9.0.1", 9, 0, 1}, {"8.5", 8, 5, -1},    {"8", 8, -1, -1},          {"", -1, -1, -1},
        {"8.5.", 8, 5, -1}, {"10.2.3", 10, 2, 3}, {"OX-VISA 4.4", 4, 4, -1},
    };
    for (const Case& c : cases) {
        const VersionParts p = SplitVersion(c.text);
        EXPECT_EQ(p.major, c.major) << c.text;
        EXPECT_EQ(p.minor, c.minor) << c.text;
        EXPECT_EQ(p.third, c.third) << c.text;
    }
}

TEST(VersionNumber, DeletesDotsPadsToFourDigitsAndTreatsOtherCharactersAsZero) {
    struct Case {
        const char* text;
        int number;
    } cases[] = {
        {"2.9.1", 2910},
        {"2.10", 2100},
        {"2.10.15", 21015},
        {"3", 3000},
        {"", 0},
        {"2.9.1 beta", 0},
        {"v2.9", 0},
        {"1.2.3.4.5.6.7.8.9.0.1", 0},
        {"0", 0},
        {"2.09.1", 2091},
        {"214748.3647", 2147483647},
    };
    for (const Case& c : cases) EXPECT_EQ(VersionNumber(c.text), c.number) << c.text;
}

TEST(VersionFromDigits, PutsDotsAfterTheFirstTwoDigits) {
    EXPECT_EQ(VersionFromDigits(291), "2.9.1");
    EXPECT_EQ(VersionFromDigits(2910), "2.9.10");
    EXPECT_EQ(VersionFromDigits(29), "2.9.");
    EXPECT_EQ(VersionFromDigits(0), "0..");
}

TEST(RuntimeVersionSatisfies, RequiresTheSameMajorAndAtLeastTheMinorAndThird) {
    struct Case {
        const char* installed;
        const char* required;
        bool satisfies;
    } cases[] = {
        {"9.0.1", "8.5", false},                           // a newer major is another run time
        {"8.6", "8.5", true},     {"8.5.0", "8.5", true},  // missing third part is -1
        {"8.5", "8.5.0", false},  {"8.4.9", "8.5", false}, {"8.5.1", "8.5.2", false},
        {"8.5.2", "8.5.2", true}, {"7.9", "8.5", false},   {"", "8.5", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RuntimeVersionSatisfies(c.installed, c.required), c.satisfies)
            << c.installed << " vs " << c.required;
    }
}

TEST(FindVisaAtLeast, AcceptsTheFirstOxVisaEntryWithTheSpaceAtOrAboveTheMinimum) {
    using Names = std::vector<std::string>;
    EXPECT_TRUE(FindVisaAtLeast(Names{"OX-VISA 4.4.1"}, "OX-VISA 4.4"));
    EXPECT_TRUE(FindVisaAtLeast(Names{"OX-VISA 5.0"}, "OX-VISA 4.4"));
    EXPECT_TRUE(FindVisaAtLeast(Names{"Vendor OX-VISA 4.4"}, "OX-VISA 4.4"));
    EXPECT_FALSE(FindVisaAtLeast(Names{"OX-VISA 3.9"}, "OX-VISA 4.4"));
    EXPECT_FALSE(FindVisaAtLeast(Names{"OX-VISA4.4.1"}, "OX-VISA 4.4"));   // no space
    EXPECT_FALSE(FindVisaAtLeast(Names{"ox-visa 4.4.1"}, "OX-VISA 4.4"));  // case matters
    EXPECT_FALSE(FindVisaAtLeast(Names{}, "OX-VISA 4.4"));
    EXPECT_TRUE(FindVisaAtLeast(Names{"OX-VISA 3.9", "Other 9.9", "OX-VISA 4.5"}, "OX-VISA 4.4"));
}

TEST(StripPercentMarks, StripsOnlyAnEnclosingPairAroundSomething) {
    struct Case {
        const char* text;
        bool stripped;
        const char* result;
    } cases[] = {
        {"%Provider%", true, "Provider"},
        {"%x%", true, "x"},
        {"%%", false, "%%"},
        {"%", false, "%"},
        {"%a", false, "%a"},
        {"Tarvano", false, "Tarvano"},
        {"%%%", true, "%"},
    };
    for (const Case& c : cases) {
        const StrippedText s = StripPercentMarks(c.text);
        EXPECT_EQ(s.stripped, c.stripped) << c.text;
        EXPECT_EQ(s.text, c.result) << c.text;
    }
}

TEST(ParseInstallerKind, IgnoresCaseButNotSurroundingBlanks) {
    EXPECT_EQ(ParseInstallerKind("fullinstall"), InstallerKind::FullInstall);
    EXPECT_EQ(ParseInstallerKind("FullInstall"), InstallerKind::FullInstall);
    EXPECT_EQ(ParseInstallerKind("UPDATE"), InstallerKind::Update);
    EXPECT_EQ(ParseInstallerKind(" update"), InstallerKind::Standard);
    EXPECT_EQ(ParseInstallerKind(""), InstallerKind::Standard);
    EXPECT_EQ(ParseInstallerKind("standard"), InstallerKind::Standard);
}

}  // namespace
}  // namespace installer
