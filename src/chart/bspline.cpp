// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/bspline.h"
#include "korvane/chart/axis.h"

#include <algorithm>
#include <cmath>

namespace korvane::chart {
namespace {

struct Vec {
  double x = 0;
  double y = 0;
};

Vec operator+(Vec a, Vec b) {
  return {a.x + b.x, a.y + b.y};
}
Vec operator-(Vec a, Vec b) {
  return {a.x - b.x, a.y - b.y};
}
Vec operator*(double k, Vec a) {
  return {k * a.x, k * a.y};
}

// Control points D such that (D[i-1] + 4 D[i] + D[i+1]) / 6 = P[i] with D[0] = P[0] and
// D[n-1] = P[n-1] (zero curvature at both ends); solved with the tridiagonal (Thomas) scheme.
std::vector<Vec> SolveInterpolating(const std::vector<Vec>& p) {
  const size_t n = p.size();
  std::vector<Vec> d(p);
  if (n < 3)
    return d;
  const size_t m = n - 2;  // unknowns d[1] .. d[n-2]
  std::vector<double> c(m);
  std::vector<Vec> rhs(m);
  for (size_t i = 0; i < m; ++i)
    rhs[i] = 6.0 * p[i + 1];
  rhs[0] = rhs[0] - p[0];
  rhs[m - 1] = rhs[m - 1] - p[n - 1];
  c[0] = 1.0 / 4.0;
  rhs[0] = (1.0 / 4.0) * rhs[0];
  for (size_t i = 1; i < m; ++i) {
    const double denom = 4.0 - c[i - 1];
    c[i] = 1.0 / denom;
    rhs[i] = (1.0 / denom) * (rhs[i] - rhs[i - 1]);
  }
  d[m] = rhs[m - 1];
  for (size_t i = m - 1; i-- > 0;) {
    rhs[i] = rhs[i] - c[i] * rhs[i + 1];
    d[i + 1] = rhs[i];
  }
  return d;
}

Vec Evaluate(const Vec& a, const Vec& b, const Vec& c, const Vec& d, double t) {
  const double s = 1 - t;
  const double b0 = s * s * s / 6;
  const double b1 = (3 * t * t * t - 6 * t * t + 4) / 6;
  const double b2 = (-3 * t * t * t + 3 * t * t + 3 * t + 1) / 6;
  const double b3 = t * t * t / 6;
  return b0 * a + b1 * b + b2 * c + b3 * d;
}

}  // namespace

void TBSpline::Clear() {
  vertices_.clear();
  valid_ = false;
}

void TBSpline::AddVertex(float x, float y) {
  vertices_.push_back({x, y});
  valid_ = false;
}

void TBSpline::SetInterpolated(bool value) {
  interpolated_ = value;
  valid_ = false;
}

void TBSpline::SetFragments(int value) {
  fragments_ = std::clamp(value, 1, MaxFragments);
  valid_ = false;
}

const std::vector<TPoint>& TBSpline::Curve() const {
  if (!valid_)
    Build();
  return curve_;
}

void TBSpline::Build() const {
  valid_ = true;
  curve_.clear();
  const size_t n = vertices_.size();
  if (n == 0)
    return;
  if (n == 1) {
    curve_.push_back({RoundPixel(vertices_[0].X), RoundPixel(vertices_[0].Y)});
    return;
  }
  std::vector<Vec> p(n);
  for (size_t i = 0; i < n; ++i)
    p[i] = {vertices_[i].X, vertices_[i].Y};
  std::vector<Vec> d = interpolated_ ? SolveInterpolating(p) : p;
  // Phantom end control points keep the curvature zero and the ends on the first/last vertex.
  std::vector<Vec> ctrl;
  ctrl.reserve(n + 2);
  ctrl.push_back(2.0 * d[0] - d[1]);
  ctrl.insert(ctrl.end(), d.begin(), d.end());
  ctrl.push_back(2.0 * d[n - 1] - d[n - 2]);
  const double segments = static_cast<double>(n - 1);
  curve_.reserve(static_cast<size_t>(fragments_) + 1);
  for (int f = 0; f <= fragments_; ++f) {
    const double u = segments * f / fragments_;
    size_t seg = std::min(static_cast<size_t>(u), n - 2);
    const Vec v = Evaluate(ctrl[seg], ctrl[seg + 1], ctrl[seg + 2], ctrl[seg + 3], u - seg);
    curve_.push_back({RoundPixel(v.x), RoundPixel(v.y)});
  }
}

}  // namespace korvane::chart
