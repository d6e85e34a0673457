// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "korvane/color.h"

#include <array>
#include <cstdint>

namespace korvane::chart {

inline constexpr int PaletteSize = 14;
inline constexpr int PatternCount = 16;

// 8 x 8 monochrome pattern, one byte per row, bit 7 the leftmost pixel; a set bit is inked.
using TPattern = std::array<std::uint8_t, 8>;

// Series colour by list position (any non-negative index, taken modulo PaletteSize).
TColor NormalColor(int index);
TColor SoftColor(int index);

// Colours for values that no NormalColor stands for, from Okabe and Ito's set made to stay apart
// for colour-blind readers ("Color Universal Design", 2008). Of that set these three lie furthest
// (CIEDE2000) from the NormalColors 0 to 8 and from each other, in normal vision and in simulated
// protanopia, deuteranopia and tritanopia.
inline constexpr TColor kOkabeItoOrange = RgbToColor(0xE6, 0x9F, 0x00);
inline constexpr TColor kOkabeItoBluishGreen = RgbToColor(0x00, 0x9E, 0x73);
inline constexpr TColor kOkabeItoReddishPurple = RgbToColor(0xCC, 0x79, 0xA7);

// Bar pattern by list position (taken modulo PatternCount).
const TPattern& MonochromePattern(int index);

}  // namespace korvane::chart
