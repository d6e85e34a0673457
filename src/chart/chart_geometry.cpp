// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/axis.h"
#include "korvane/chart/trend_chart.h"

#include <algorithm>
#include <cmath>

namespace korvane::chart {

void TTrendChart::CalculateSeries() {
  // A curve left from an earlier layout would still be drawn.
  for (const auto& series : seriesList_)
    series->spline_.Clear();
  if (seriesList_.empty() || empty_ || PlotCollapsed())
    return;
  const int B = barCount_ > 0 ? RoundPixel(static_cast<double>(barWidth_) / (barCount_ + 1)) : 0;
  int k = 0;
  for (const auto& series : seriesList_) {
    TTrendSeries& s = *series;
    switch (s.kind_) {
      case skLine:
        for (TXYInfo& v : s.values_)
          ChartToClient(v.X, v.Y, v.Px, v.Py);
        break;
      case skSmooth:
        for (TXYInfo& v : s.values_) {
          ChartToClient(v.X, v.Y, v.Px, v.Py);
          s.spline_.AddVertex(static_cast<float>(v.Px), static_cast<float>(v.Py));
        }
        s.spline_.SetInterpolated(true);
        s.spline_.SetFragments(s.Count() * 20);
        break;
      case skBar: {
        const int o = RoundPixel(-barWidth_ / 2.0 + B / 2.0 + k * B + 0.1 * B);
        const int bw = RoundPixel(0.8 * B);
        for (TXYInfo& v : s.values_) {
          ChartToClient(v.X, v.Y, v.Px, v.Py);
          const int left = v.Px + o;
          v.Rc =
              v.Y < 0 ? TRect{left, zeroY_, left + bw, v.Py} : TRect{left, v.Py, left + bw, zeroY_};
        }
        ++k;
        break;
      }
    }
  }
}

void TTrendChart::ChartToClient(double X, double Y, int& Px, int& Py) const {
  if (axisXOnePerValue_) {
    // Category ticks are sorted by value and distinct, so the first equal tick is found by search.
    auto it = std::lower_bound(xAxis_.begin(), xAxis_.end(), X,
                               [](const TAxisInfo& t, double x) { return t.Value < x; });
    if (it != xAxis_.end() && it->Value == X)
      Px = it->Px;
  } else {
    Px = RoundPixel((X - xMin_) * xScale_) + xOrigin_;
  }
  Py = yOrigin_ - RoundPixel((Y - yMin_) * yScale_);
}

std::optional<std::pair<double, double>> TTrendChart::ClientToChart(int Px, int Py) const {
  if (empty_ || seriesList_.empty() || !rcChart_.Contains(Px, Py) || yScale_ == 0) {
    return std::nullopt;
  }
  const double Y = yMin_ + (yOrigin_ - Py) / yScale_;
  if (axisXOnePerValue_) {
    if (xAxis_.empty())
      return std::nullopt;
    auto nearest = std::min_element(
        xAxis_.begin(), xAxis_.end(),
        [Px](const auto& a, const auto& b) { return std::abs(a.Px - Px) < std::abs(b.Px - Px); });
    return std::make_pair(nearest->Value, Y);
  }
  if (xScale_ == 0)
    return std::nullopt;
  return std::make_pair(xMin_ + (Px - xOrigin_) / xScale_, Y);
}

}  // namespace korvane::chart
