#include "ini_text.h"

#include "system.h"
#include "versions.h"

namespace installer {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

}  // namespace

IniText::IniText(std::string_view text) {
    while (!text.empty()) {
        const std::size_t stop = text.find_first_of("\r\n");
        std::string_view line = text.substr(0, stop);
        text.remove_prefix(stop == std::string_view::npos ? text.size() : stop + 1);
        line = Trim(line);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            const std::string_view name = line.substr(
                1, close == std::string_view::npos ? std::string_view::npos : close - 1);
            sections_.push_back({std::string(Trim(name)), {}});
            continue;
        }
        const std::size_t equals = line.find('=');
        if (sections_.empty() || equals == std::string_view::npos) continue;
        std::string_view value = Unquote(Trim(line.substr(equals + 1)));
        if (value.size() > kProfileValueLimit) value = value.substr(0, kProfileValueLimit);
        sections_.back().entries.push_back(
            {std::string(Trim(line.substr(0, equals))), std::string(value)});
    }
}

std::string IniText::Value(std::string_view section, std::string_view key) const {
    for (const Section& candidate : sections_) {
        if (!EqualsIgnoreCase(candidate.name, section)) continue;
        for (const Entry& entry : candidate.entries) {
            if (EqualsIgnoreCase(entry.key, key)) return entry.value;
        }
        return {};
    }
    return {};
}

}  // namespace installer
