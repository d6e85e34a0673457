#pragma once

#include <korvane/color.h>

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

// Bar pattern by list position (taken modulo PatternCount).
const TPattern& MonochromePattern(int index);

}  // namespace korvane::chart
