// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace korvane {

// A colour as the program stores it: 0x00BBGGRR (red in the low byte).
using TColor = std::uint32_t;

constexpr TColor RgbToColor(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return static_cast<TColor>(r) | (static_cast<TColor>(g) << 8) | (static_cast<TColor>(b) << 16);
}

constexpr std::uint8_t ColorRed(TColor c) {
  return static_cast<std::uint8_t>(c & 0xFF);
}
constexpr std::uint8_t ColorGreen(TColor c) {
  return static_cast<std::uint8_t>((c >> 8) & 0xFF);
}
constexpr std::uint8_t ColorBlue(TColor c) {
  return static_cast<std::uint8_t>((c >> 16) & 0xFF);
}

}  // namespace korvane
