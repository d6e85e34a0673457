// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace korvane::chart {

// Start value of every minimum search (its negation starts every maximum search); a tick label of
// exactly this value reads "~".
inline constexpr double UndefinedValueChart = 1.7e308;

enum class TSeriesKind : std::uint8_t {
  skLine = 0,    // straight polyline through the points in insertion order
  skSmooth = 1,  // interpolating B-spline through the points
  skBar = 2,     // one filled rectangle per point, from the zero line to the value
};
using enum TSeriesKind;

struct TPoint {
  int X = 0;
  int Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

// Half-open pixel rectangle: covers Left..Right-1 and Top..Bottom-1.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

// One data point. Px, Py and Rc are written by every layout pass.
struct TXYInfo {
  double X = 0;
  double Y = 0;
  int Px = 0;
  int Py = 0;
  TRect Rc;
  std::string Name;  // stored only, never drawn
};

// One axis tick. Value is unused on a numeric X axis.
struct TAxisInfo {
  double Value = 0;
  int Px = 0;
  int Py = 0;
  std::string Caption;
};

struct TFont {
  std::string Face = "Arial";
  int PointSize = 8;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  friend bool operator==(const TFont&, const TFont&) = default;
};

}  // namespace korvane::chart
