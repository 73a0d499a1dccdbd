#include "versions.h"

#include <limits>

namespace installer {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Decimal digits to a non-negative 32-bit number; -1 when it does not fit.
std::int32_t DigitsToNumber(std::string_view digits) {
    std::int64_t value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<std::int32_t>::max()) return -1;
    }
    return static_cast<std::int32_t>(value);
}

// major, minor and third part compared as "at least".
bool PartsAtLeast(const VersionParts& have, const VersionParts& want) {
    if (have.major != want.major) return have.major > want.major;
    if (have.minor != want.minor) return have.minor > want.minor;
    return have.third >= want.third;
}

}  // namespace

std::string ToLowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = LowerAscii(c);
    return lower;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

FirstNumber ParseFirstNumber(std::string_view text) {
    FirstNumber number;
    std::size_t start = 0;
    while (start < text.size() && !IsDigit(text[start])) ++start;
    if (start == text.size()) return number;
    std::size_t stop = start;
    while (stop < text.size() && IsDigit(text[stop])) ++stop;
    number.value = DigitsToNumber(text.substr(start, stop - start));
    number.found = number.value >= 0;
    number.end = stop + 1;
    return number;
}

std::string_view RemainderAfter(std::string_view text, const FirstNumber& number) {
    // 1-based position end + 1 is the 0-based index end.
    return number.end < text.size() ? text.substr(number.end) : std::string_view{};
}

VersionParts SplitVersion(std::string_view text) {
    VersionParts parts;
    const FirstNumber major = ParseFirstNumber(text);
    parts.major = major.value;
    const std::string_view afterMajor = RemainderAfter(text, major);
    const FirstNumber minor = ParseFirstNumber(afterMajor);
    parts.minor = minor.value;
    parts.third = ParseFirstNumber(RemainderAfter(afterMajor, minor)).value;
    return parts;
}

std::int32_t VersionNumber(std::string_view text) {
    std::string digits;
    for (char c : text) {
        if (c == '.') continue;
        // Anything but digits and dots makes the text no number; it counts as 0.
        if (!IsDigit(c)) return 0;
        digits.push_back(c);
    }
    while (digits.size() < 4) digits.push_back('0');
    const std::int32_t value = DigitsToNumber(digits);
    return value < 0 ? 0 : value;
}

std::string VersionFromDigits(std::int32_t number) {
    const std::string digits = std::to_string(number);
    std::string text = digits.substr(0, 1);
    text += '.';
    if (digits.size() > 1) text += digits.substr(1, 1);
    text += '.';
    if (digits.size() > 2) text += digits.substr(2);
    return text;
}

bool RuntimeVersionSatisfies(std::string_view installed, std::string_view required) {
    const VersionParts have = SplitVersion(installed);
    const VersionParts want = SplitVersion(required);
    // A newer major is a different run time, not a newer one.
    if (have.major != want.major) return false;
    return PartsAtLeast(have, want);
}

bool FindVisaAtLeast(const std::vector<std::string>& displayNames, std::string_view minimum) {
    const VersionParts want = SplitVersion(minimum);
    for (const std::string& name : displayNames) {
        if (name.find("OX-VISA ") == std::string::npos) continue;
        if (PartsAtLeast(SplitVersion(name), want)) return true;
    }
    return false;
}

StrippedText StripPercentMarks(std::string_view text) {
    if (text.size() > 2 && text.front() == '%' && text.back() == '%') {
        return {true, std::string(text.substr(1, text.size() - 2))};
    }
    return {false, std::string(text)};
}

}  // namespace installer
