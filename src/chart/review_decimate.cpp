// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/review_decimate.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvane::chart {

int ReviewColumnOf(double x, double x0, double x1, int columns) {
  // Multiplying first keeps exact cases exact: a frame at a column's start time lies in it.
  const double column = std::floor((x - x0) * columns / (x1 - x0));
  if (!(column > 0))
    return 0;
  return column >= columns ? columns - 1 : static_cast<int>(column);
}

std::vector<std::size_t> DecimateColumns(std::span<const double> xs, std::span<const double> ys,
                                         double x0, double x1, int columns) {
  std::vector<std::size_t> out;
  if (xs.size() != ys.size() || columns <= 0 || !std::isfinite(x0) || !std::isfinite(x1) ||
      !(x1 > x0))
    return out;
  const auto begin =
      static_cast<std::size_t>(std::lower_bound(xs.begin(), xs.end(), x0) - xs.begin());
  const auto end =
      static_cast<std::size_t>(std::upper_bound(xs.begin(), xs.end(), x1) - xs.begin());

  int column = -1;
  std::size_t first = 0, last = 0, lo = 0, hi = 0;
  // first <= lo, hi <= last within a column, so only lo and hi need ordering.
  const auto flush = [&] {
    if (column < 0)
      return;
    const std::size_t a = std::min(lo, hi);
    const std::size_t b = std::max(lo, hi);
    out.push_back(first);
    if (a != first)
      out.push_back(a);
    if (b != a)
      out.push_back(b);
    if (last != b)
      out.push_back(last);
  };
  out.reserve(std::min(end - begin, 4 * static_cast<std::size_t>(columns)));
  // Below nextEdge a point surely lies in the current column, so the exact (and dearer) column
  // is worked out only near and past the column's end.
  const double slack = (std::fabs(x0) + std::fabs(x1)) * 1e-12;
  const double perColumn = (x1 - x0) / columns;
  double nextEdge = -std::numeric_limits<double>::infinity();
  for (std::size_t i = begin; i < end; ++i) {
    const double y = ys[i];
    if (std::isnan(y))
      continue;
    if (xs[i] >= nextEdge) {
      const int c = ReviewColumnOf(xs[i], x0, x1, columns);
      if (c != column) {
        flush();
        column = c;
        first = last = lo = hi = i;
        nextEdge = x0 + (c + 1) * perColumn - slack;
        continue;
      }
    }
    last = i;
    if (y < ys[lo])
      lo = i;
    if (y > ys[hi])
      hi = i;
  }
  flush();
  return out;
}

}  // namespace korvane::chart
