// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/fixed_text_metrics.h"

#include <algorithm>

namespace korvane::chart {
namespace {

int CharCount(std::string_view text) {
  // UTF-8: count every byte that does not continue a sequence.
  return static_cast<int>(
      std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

}  // namespace

int FixedTextMetrics::CharWidth(const TFont& font) {
  return (font.PointSize * 3 + 2) / 4 + (font.Bold ? 1 : 0);
}

int FixedTextMetrics::LineHeight(const TFont& font) {
  return font.PointSize * 13 / 8;
}

int FixedTextMetrics::TextWidth(const TFont& font, std::string_view text) {
  return CharCount(text) * CharWidth(font);
}

int FixedTextMetrics::TextHeight(const TFont& font, std::string_view) {
  return LineHeight(font);
}

int FixedTextMetrics::WrappedTextHeight(const TFont& font, std::string_view text, int width) {
  const int maxChars = std::max(1, width / CharWidth(font));
  int lines = 1;
  int used = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find(' ', pos);
    if (end == std::string_view::npos)
      end = text.size();
    const int word = CharCount(text.substr(pos, end - pos));
    const int needed = used == 0 ? word : used + 1 + word;
    if (used > 0 && needed > maxChars) {
      ++lines;
      used = word;
    } else {
      used = needed;
    }
    pos = end + 1;
  }
  return lines * LineHeight(font);
}

}  // namespace korvane::chart
