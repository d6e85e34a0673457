// SPDX-License-Identifier: GPL-3.0-or-later
#include "caption_lines.h"

namespace korvane::chart {
namespace {

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> CaptionLines(std::string_view caption) {
  std::vector<std::string_view> lines;
  std::string_view rest = TrimBlanks(caption);
  while (!rest.empty()) {
    const size_t br = rest.find_first_of("\r\n");
    lines.push_back(TrimBlanks(rest.substr(0, br)));
    if (br == std::string_view::npos)
      break;
    size_t next = br + 1;
    if (rest[br] == '\r' && next < rest.size() && rest[next] == '\n')
      ++next;
    rest.remove_prefix(next);
  }
  return lines;
}

}  // namespace korvane::chart
