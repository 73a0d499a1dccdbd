#pragma once
// A reader of INI text that answers as the Windows private-profile functions
// do, for the platforms (and tests) that have none.

#include <string>
#include <string_view>
#include <vector>

namespace installer {

class IniText {
  public:
    explicit IniText(std::string_view text);

    // The value of `key` in `section` (both compared case-insensitively), with
    // surrounding blanks and one pair of matching quotes removed, cut to
    // kProfileValueLimit characters. Only the first section of a name is
    // searched, and its first key of the name wins. A missing section or key gives "".
    std::string Value(std::string_view section, std::string_view key) const;

  private:
    struct Entry {
        std::string key;
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };
    std::vector<Section> sections_;
};

}  // namespace installer
