// SPDX-License-Identifier: GPL-3.0-or-later
#include "review_plot_state.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvane::chart {

struct ReviewPlot::Impl : review_plot::State {
  // A new view changes the axes' ranges and so the layout.
  void ViewChanged() {
    layoutDirty = true;
    curvesValid = false;
  }
};

ReviewUnit UnitOf(ReviewSeries s) {
  switch (s) {
    case ReviewSeries::kOutputVoltage:
    case ReviewSeries::kInputVoltage:
      return ReviewUnit::kVoltage;
    case ReviewSeries::kCurrent:
      return ReviewUnit::kCurrent;
    case ReviewSeries::kCapacity:
      return ReviewUnit::kCapacity;
    case ReviewSeries::kTemperature:
      return ReviewUnit::kTemperature;
    default:
      return ReviewUnit::kCellVoltage;
  }
}

bool OnRightAxis(ReviewSeries s) {
  return s >= ReviewSeries::kCurrent;
}

std::string_view ReviewSeriesName(ReviewSeries s) {
  static constexpr std::string_view kNames[kReviewSeriesCount] = {
      "Output voltage", "Input voltage", "Cell 1", "Cell 2",  "Cell 3",   "Cell 4",
      "Cell 5",         "Cell 6",        "Cell 7", "Current", "Capacity", "Temperature"};
  return kNames[static_cast<int>(s)];
}

TColor ReviewSeriesColor(ReviewSeries s) {
  return review_plot::SeriesColor(s);
}

ReviewPlot::ReviewPlot() : impl_(std::make_unique<Impl>()) {}
ReviewPlot::~ReviewPlot() = default;

void ReviewPlot::SetStyle(ReviewPlotStyle style) {
  impl_->style = std::move(style);
  impl_->ViewChanged();
}

const ReviewPlotStyle& ReviewPlot::Style() const {
  return impl_->style;
}

void ReviewPlot::SetRuns(std::vector<ReviewRun> runs) {
  Impl& s = *impl_;
  s.traceMode = false;
  s.traceSet = {};
  s.traceSummaries.clear();
  s.runs = std::move(runs);
  s.summaries.clear();
  s.summaries.resize(s.runs.size());
  for (std::size_t r = 0; r < s.runs.size(); ++r) {
    ReviewRun& run = s.runs[r];
    for (std::size_t k = 0; k < run.values.size(); ++k) {
      // A missing or short series reads as frames without that value.
      run.values[k].resize(run.elapsedMs.size(), std::numeric_limits<double>::quiet_NaN());
      s.summaries[r][k] = review_plot::Summarize(run.values[k]);
    }
  }
  s.view = ReviewView(review_plot::SpanStart(s), review_plot::SpanEnd(s),
                      std::max(1, s.layout.plot.Width()));
  s.anchor.reset();
  s.ViewChanged();
}

void ReviewPlot::UpdateRuns(std::vector<ReviewRun> runs) {
  const ReviewView before = impl_->view;
  const std::optional<std::pair<int, double>> anchor = impl_->anchor;
  SetRuns(std::move(runs));
  if (!before.ShowsWholeSpan()) {
    impl_->view.Show(before.Start(), before.End());
    impl_->anchor = anchor;
  }
}

const std::vector<ReviewRun>& ReviewPlot::Runs() const {
  return impl_->runs;
}

void ReviewPlot::SetTraces(ReviewTraceSet set) {
  Impl& s = *impl_;
  s.runs.clear();
  s.summaries.clear();
  s.traceMode = true;
  s.traceSummaries.clear();
  for (ReviewTrace& trace : set.traces) {
    trace.ys.resize(trace.xs.size(), std::numeric_limits<double>::quiet_NaN());
    if (trace.keys.size() != trace.xs.size())
      trace.keys.clear();
    // Points without a usable time are dropped; the rest are put in order of time.
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < trace.xs.size(); ++i) {
      if (std::isfinite(trace.xs[i]))
        order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return trace.xs[a] < trace.xs[b]; });
    if (order.size() != trace.xs.size() || !std::is_sorted(trace.xs.begin(), trace.xs.end())) {
      ReviewTrace sorted = trace;
      sorted.xs.clear();
      sorted.ys.clear();
      sorted.keys.clear();
      for (const std::size_t i : order) {
        sorted.xs.push_back(trace.xs[i]);
        sorted.ys.push_back(trace.ys[i]);
        if (!trace.keys.empty())
          sorted.keys.push_back(trace.keys[i]);
      }
      trace = std::move(sorted);
    }
    s.traceSummaries.push_back(review_plot::Summarize(trace.ys));
  }
  s.traceSet = std::move(set);
  s.view = ReviewView(review_plot::SpanStart(s), review_plot::SpanEnd(s),
                      std::max(1, s.layout.plot.Width()));
  s.anchor.reset();
  s.ViewChanged();
}

const ReviewTraceSet& ReviewPlot::Traces() const {
  return impl_->traceSet;
}

std::optional<ReviewHit> ReviewPlot::PointAt(TPoint client, int radiusPx) const {
  return review_plot::TracePointAt(*impl_, client, radiusPx);
}

void ReviewPlot::SetShown(ReviewSeriesMask mask) {
  impl_->shown = mask;
  impl_->ViewChanged();
}

ReviewSeriesMask ReviewPlot::Shown() const {
  return impl_->shown;
}

void ReviewPlot::Resize(int width, int height, TextMetrics& metrics) {
  Impl& s = *impl_;
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width != s.width || height != s.height)
    s.anchor.reset();
  s.width = width;
  s.height = height;
  review_plot::LayOut(s, metrics);
}

int ReviewPlot::Width() const {
  return impl_->width;
}

int ReviewPlot::Height() const {
  return impl_->height;
}

TRect ReviewPlot::PlotArea() const {
  return impl_->layout.plot;
}

std::vector<ReviewPane> ReviewPlot::Panes() const {
  std::vector<ReviewPane> panes;
  for (const review_plot::Pane& pane : impl_->layout.panes) {
    ReviewPane& out =
        panes.emplace_back(ReviewPane{pane.unit, pane.area, pane.axis.lo, pane.axis.hi, {}});
    if (pane.right)
      out.right = std::pair{pane.right->lo, pane.right->hi};
  }
  return panes;
}

void ReviewPlot::ZoomAt(int clientX, double factor) {
  Impl& s = *impl_;
  const TRect& plot = s.layout.plot;
  const int pixel = std::clamp(clientX - plot.Left, 0, plot.Width());
  s.view.ZoomAt(pixel, factor);
  s.anchor = {plot.Left + pixel, s.view.TimeAt(pixel)};
  s.ViewChanged();
}

void ReviewPlot::PanBy(int pixels) {
  impl_->view.PanBy(pixels);
  impl_->anchor.reset();
  impl_->ViewChanged();
}

void ReviewPlot::ZoomToPixels(int clientX0, int clientX1) {
  constexpr int kMinDrag = 3;
  Impl& s = *impl_;
  if (std::abs(clientX1 - clientX0) < kMinDrag)
    return;
  const TRect& plot = s.layout.plot;
  const double width = plot.Width();
  const double p0 = std::clamp(std::min(clientX0, clientX1) - plot.Left, 0, plot.Width());
  const double p1 = std::clamp(std::max(clientX0, clientX1) - plot.Left, 0, plot.Width());
  const double span = p1 - p0;
  if (span < 1 || span >= width)
    return;
  // Stretching [p0, p1] over the whole width leaves one pixel in place: zoom around it.
  s.view.ZoomAt(p0 * width / (width - span), width / span);
  s.anchor.reset();
  s.ViewChanged();
}

void ReviewPlot::ResetView() {
  impl_->view.Reset();
  impl_->anchor.reset();
  impl_->ViewChanged();
}

const ReviewView& ReviewPlot::View() const {
  return impl_->view;
}

void ReviewPlot::SetHover(std::optional<TPoint> client) {
  impl_->hover = client;
}

std::optional<ReviewReadout> ReviewPlot::Readout() const {
  auto detail =
      impl_->traceMode ? review_plot::MakeTraceReadout(*impl_) : review_plot::MakeReadout(*impl_);
  if (!detail)
    return std::nullopt;
  return std::move(detail->readout);
}

void ReviewPlot::SetRubberBand(std::optional<std::pair<int, int>> clientXs) {
  impl_->band = clientXs;
}

void ReviewPlot::Paint(Canvas& canvas, TextMetrics& metrics) {
  Impl& s = *impl_;
  if (s.layoutDirty)
    review_plot::LayOut(s, metrics);
  if (!s.curvesValid)
    review_plot::BuildCurves(s);
  review_plot::PaintPlot(s, canvas, metrics);
}

}  // namespace korvane::chart
