// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane::app {

// An INI text with the private-profile rules: "[section]" headers and "key=value" entries, names
// compared without regard to ASCII letter case, whitespace around names and values ignored, a
// value's one pair of enclosing quotes removed, the first of duplicate keys wins. Lines starting
// with ";" or "#" are comments. Any bytes are accepted; what is not understood is kept as is.
// Setting a value rewrites only that value; everything else serialises back byte for byte, with
// the text's own line ends.
class IniDocument {
 public:
  static IniDocument Parse(std::string_view text);

  // The value of the first `key` in a section named `section`, or nothing.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  // Every key and value of the sections named `section`, in file order, duplicates included.
  std::vector<std::pair<std::string, std::string>> Entries(std::string_view section) const;

  // Replaces the value of the key that Get reads. A missing key is added after the last entry of
  // the first such section; a missing section is added at the end.
  void Set(std::string_view section, std::string_view key, std::string_view value);

  std::string Serialize() const;

 private:
  struct Line {
    std::string text;  // without its line end
    std::string end;   // "\n", "\r\n" or, for a last line without one, ""
  };

  std::optional<std::size_t> FindEntry(std::string_view section, std::string_view key) const;
  std::size_t InsertLine(std::size_t position, std::string text);

  std::vector<Line> lines_;
  std::string newline_ = "\n";
};

// Reads a profile integer: "0x" or "0X" and up to 32 bits of hex digits, or an optionally signed
// decimal in the 32-bit signed range. Anything else, such as an empty text, gives nothing.
std::optional<std::int32_t> ParseProfileInt(std::string_view text);

}  // namespace korvane::app
