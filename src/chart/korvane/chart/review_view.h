// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <span>

namespace korvane::chart {

// The visible time range of a run over a plot widthPx pixels wide. The visible range always lies
// within the run's full span and is never narrower than kMinVisibleMs (or the span, if shorter).
class ReviewView {
 public:
  static constexpr double kMinVisibleMs = 1000;

  // An empty or reversed span is widened to kMinVisibleMs from its start.
  ReviewView(double spanStartMs, double spanEndMs, double widthPx);

  double Start() const { return start_; }
  double End() const { return end_; }
  double Width() const { return width_; }

  // A new plot width keeps the visible times.
  void SetWidth(double widthPx);

  // Shows the visible width divided by factor (above 1 zooms in) with the time under pixelX
  // staying under it, unless the limits above move the range.
  void ZoomAt(double pixelX, double factor);

  // Moves the content pixels to the right (earlier times come into view), as a drag does.
  void PanBy(double pixels);

  // Shows the whole span.
  void Reset();

  // Shows [startMs, endMs] as far as the limits above allow.
  void Show(double startMs, double endMs);
  bool ShowsWholeSpan() const { return start_ == spanStart_ && end_ == spanEnd_; }

  double TimeAt(double pixelX) const;
  double PixelAt(double timeMs) const;

 private:
  void Place(double start, double visibleMs);

  double spanStart_;
  double spanEnd_;
  double width_;
  double start_;
  double end_;
};

// Index of the frame in sorted xs nearest timeMs; of two equally near, the earlier. None for
// empty xs or a NaN time.
std::optional<std::size_t> NearestIndex(std::span<const double> xs, double timeMs);

}  // namespace korvane::chart
