#pragma once
// Version texts: first-number parsing, dotted versions as numbers, and the
// acceptance rules for the run time and OX-VISA.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace installer {

struct FirstNumber {
    bool found = false;
    std::int32_t value = -1;
    std::size_t end = 0;  // 1-based position just after the digits; 0 without digits
};

// The first run of decimal digits in `text`. A run too large for 32 bits
// counts as a failed conversion (value -1, found false), end still after it.
FirstNumber ParseFirstNumber(std::string_view text);

// What follows a number: the text after position end + 1 (1-based), which
// skips the separator right after the digits.
std::string_view RemainderAfter(std::string_view text, const FirstNumber& number);

// Major, minor and third part of a version text; a missing part is -1.
struct VersionParts {
    std::int32_t major = -1;
    std::int32_t minor = -1;
    std::int32_t third = -1;
};
VersionParts SplitVersion(std::string_view text);

// "2.9.1" -> 2910, "2.10" -> 2100, "2.10.15" -> 21015: the dots deleted, zeros
// appended up to four characters. A text with any other character, or a number
// beyond 32 bits, cannot be converted and gives 0.
std::int32_t VersionNumber(std::string_view text);

// 291 -> "2.9.1", 2910 -> "2.9.10". Numbers below 100 keep the separators of
// the missing digits ("29" -> "2.9.").
std::string VersionFromDigits(std::int32_t number);

// Installed run-time version against the required one: same major, then a
// greater minor, or equal minors and a third part at least as great.
bool RuntimeVersionSatisfies(std::string_view installed, std::string_view required);

// Whether a display name containing "OX-VISA " (with the space) names a
// version at least `minimum`; the names are walked in order.
bool FindVisaAtLeast(const std::vector<std::string>& displayNames, std::string_view minimum);

// "%name%" -> (true, "name"); anything else is returned unchanged with false.
struct StrippedText {
    bool stripped = false;
    std::string text;
};
StrippedText StripPercentMarks(std::string_view text);

// ASCII helpers shared by the installer's rules (the texts are ANSI).
std::string ToLowerAscii(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace installer
