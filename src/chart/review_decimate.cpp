#include <korvane/chart/review_decimate.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace korvane::chart {

int ReviewColumnOf(double x, double x0, double x1, int columns) {
  const double column = std::floor((x - x0) / (x1 - x0) * columns);
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
  const auto flush = [&] {
    if (column < 0)
      return;
    std::array<std::size_t, 4> keep = {first, lo, hi, last};
    std::sort(keep.begin(), keep.end());
    const auto unique_end = std::unique(keep.begin(), keep.end());
    out.insert(out.end(), keep.begin(), unique_end);
  };
  for (std::size_t i = begin; i < end; ++i) {
    const double y = ys[i];
    if (std::isnan(y))
      continue;
    const int c = ReviewColumnOf(xs[i], x0, x1, columns);
    if (c != column) {
      flush();
      column = c;
      first = last = lo = hi = i;
      continue;
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
