// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/review_view.h"

#include <algorithm>
#include <cmath>

namespace korvane::chart {

ReviewView::ReviewView(double spanStartMs, double spanEndMs, double widthPx)
    : spanStart_(spanStartMs),
      spanEnd_(spanEndMs > spanStartMs ? spanEndMs : spanStartMs + kMinVisibleMs),
      width_(widthPx > 1 ? widthPx : 1),
      start_(spanStart_),
      end_(spanEnd_) {}

void ReviewView::SetWidth(double widthPx) {
  width_ = widthPx > 1 ? widthPx : 1;
}

void ReviewView::Place(double start, double visibleMs) {
  const double full = spanEnd_ - spanStart_;
  visibleMs = std::clamp(visibleMs, std::min(kMinVisibleMs, full), full);
  start = std::clamp(start, spanStart_, spanEnd_ - visibleMs);
  start_ = start;
  end_ = start + visibleMs;
}

void ReviewView::ZoomAt(double pixelX, double factor) {
  if (!(factor > 0) || !std::isfinite(factor) || !std::isfinite(pixelX))
    return;
  const double anchor = TimeAt(pixelX);
  const double visible = (end_ - start_) / factor;
  Place(anchor - pixelX / width_ * visible, visible);
}

void ReviewView::PanBy(double pixels) {
  if (!std::isfinite(pixels))
    return;
  const double visible = end_ - start_;
  Place(start_ - pixels * visible / width_, visible);
}

void ReviewView::Reset() {
  start_ = spanStart_;
  end_ = spanEnd_;
}

void ReviewView::Show(double startMs, double endMs) {
  if (!std::isfinite(startMs) || !std::isfinite(endMs) || !(endMs > startMs))
    return;
  Place(startMs, endMs - startMs);
}

double ReviewView::TimeAt(double pixelX) const {
  return start_ + pixelX * (end_ - start_) / width_;
}

double ReviewView::PixelAt(double timeMs) const {
  return (timeMs - start_) * width_ / (end_ - start_);
}

std::optional<std::size_t> NearestIndex(std::span<const double> xs, double timeMs) {
  if (xs.empty() || std::isnan(timeMs))
    return std::nullopt;
  const auto after =
      static_cast<std::size_t>(std::lower_bound(xs.begin(), xs.end(), timeMs) - xs.begin());
  if (after == 0)
    return 0;
  if (after == xs.size())
    return xs.size() - 1;
  // Ties go to the earlier frame.
  return timeMs - xs[after - 1] <= xs[after] - timeMs ? after - 1 : after;
}

}  // namespace korvane::chart
