// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "korvane/chart/canvas.h"

namespace korvane::chart {

// Deterministic metrics for headless use: every character is (PointSize * 3 + 2) / 4 pixels wide
// (one more in bold) and a line is PointSize * 13 / 8 pixels high. Wrapping breaks at spaces.
class FixedTextMetrics final : public TextMetrics {
 public:
  static int CharWidth(const TFont& font);
  static int LineHeight(const TFont& font);

  int TextWidth(const TFont& font, std::string_view text) override;
  int TextHeight(const TFont& font, std::string_view text) override;
  int WrappedTextHeight(const TFont& font, std::string_view text, int width) override;
};

}  // namespace korvane::chart
