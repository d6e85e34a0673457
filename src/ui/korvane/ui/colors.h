// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>

#include "korvane/color.h"

namespace korvane::ui {

inline QColor ToQColor(TColor color) {
  return QColor(ColorRed(color), ColorGreen(color), ColorBlue(color));
}

inline TColor FromQColor(const QColor& color) {
  return RgbToColor(static_cast<std::uint8_t>(color.red()),
                    static_cast<std::uint8_t>(color.green()),
                    static_cast<std::uint8_t>(color.blue()));
}

}  // namespace korvane::ui
