// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "korvane/chart/chart_types.h"

#include <vector>

namespace korvane::chart {

struct TPointF {
  float X = 0;
  float Y = 0;
};

// Uniform cubic B-spline over a list of vertices, evaluated into straight pieces. When
// interpolating, the control points are solved so that the curve passes through every vertex
// (natural end conditions); otherwise the vertices are the control points themselves.
class TBSpline {
 public:
  static constexpr int MaxFragments = 600;

  void Clear();
  void AddVertex(float x, float y);
  int VertexCount() const { return static_cast<int>(vertices_.size()); }

  bool Interpolated() const { return interpolated_; }
  void SetInterpolated(bool value);
  int Fragments() const { return fragments_; }
  // Number of straight pieces of the whole curve, limited to 1..MaxFragments.
  void SetFragments(int value);

  // The curve as Fragments() + 1 pixel points (the single vertex for one vertex, none for none).
  const std::vector<TPoint>& Curve() const;

 private:
  void Build() const;

  std::vector<TPointF> vertices_;
  bool interpolated_ = false;
  int fragments_ = 100;
  mutable bool valid_ = false;
  mutable std::vector<TPoint> curve_;
};

}  // namespace korvane::chart
