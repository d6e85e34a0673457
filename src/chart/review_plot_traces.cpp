// SPDX-License-Identifier: GPL-3.0-or-later
#include "review_plot_state.h"

#include "korvane/chart/review_decimate.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvane::chart::review_plot {
namespace {

constexpr double kSpanMargin = 0.03;  // of the traces' span, before the first and after the last
constexpr double kHalfDayMs = 12 * 3600.0 * 1000;

// The axis a trace or level of the side is drawn against; none for a right side without an axis.
const ValueAxis* AxisOf(const Pane& pane, ReviewSide side) {
  if (side == ReviewSide::kLeft)
    return &pane.axis;
  return pane.right ? &*pane.right : nullptr;
}

bool Marked(const ReviewTrace& trace) {
  return trace.mark != ReviewMark::kNone;
}

std::string TimeLine(const State& state, double at) {
  const auto ms = static_cast<std::int64_t>(std::llround(at));
  if (state.style.timeAxis == ReviewTimeAxis::kElapsed)
    return FormatElapsed(ms);
  if (state.style.localTime)
    return state.style.localTime(ms);
  return DefaultDateLabel(ms, ReviewDateUnit::kDay) + ' ' +
         DefaultDateLabel(ms, ReviewDateUnit::kHour);
}

// The span's margin: a share of it, or for a single instant half a day (or a second).
double SpanPad(const State& state, double span) {
  if (span > 0)
    return span * kSpanMargin;
  return state.style.timeAxis == ReviewTimeAxis::kCalendar ? kHalfDayMs : ReviewView::kMinVisibleMs;
}

std::pair<double, double> TraceSpan(const State& state) {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -lo;
  for (const ReviewTrace& trace : state.traceSet.traces) {
    if (!trace.xs.empty()) {
      lo = std::min(lo, trace.xs.front());
      hi = std::max(hi, trace.xs.back());
    }
  }
  if (!(lo <= hi))
    return {0, ReviewView::kMinVisibleMs};
  const double pad = SpanPad(state, hi - lo);
  return {lo - pad, hi + pad};
}

}  // namespace

double TraceSpanStart(const State& state) {
  return TraceSpan(state).first;
}

double TraceSpanEnd(const State& state) {
  return TraceSpan(state).second;
}

std::vector<std::pair<std::string, Look>> TraceLegendEntries(const State& state) {
  std::vector<std::pair<std::string, Look>> entries;
  if (!HasContent(state))
    return entries;
  const std::vector<ReviewTrace>& traces = state.traceSet.traces;
  for (std::size_t t = 0; t < traces.size(); ++t) {
    if (state.traceSummaries[t].hasValue)
      entries.emplace_back(traces[t].name, TraceLook(traces[t]));
  }
  for (const ReviewLevel& level : state.traceSet.levels)
    entries.emplace_back(level.name, Look{level.color, level.penStyle, ReviewMark::kNone, true});
  return entries;
}

void FitTraceAxes(const State& state, Pane& pane, TextMetrics& metrics) {
  const std::vector<ReviewTrace>& traces = state.traceSet.traces;
  double lo[2] = {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};
  double hi[2] = {-lo[0], -lo[1]};
  // The right axis is there while any right trace has a value, whatever the view shows.
  bool right = false;
  for (std::size_t t = 0; t < traces.size(); ++t) {
    const std::size_t side = traces[t].side == ReviewSide::kLeft ? 0 : 1;
    const auto [i0, i1] = FramesWithin(traces[t].xs, state.view.Start(), state.view.End());
    ExtendRange(state.traceSummaries[t], traces[t].ys, i0, i1, lo[side], hi[side]);
    right = right || (side == 1 && state.traceSummaries[t].hasValue);
  }
  for (const ReviewLevel& level : state.traceSet.levels) {
    const std::size_t side = level.side == ReviewSide::kLeft ? 0 : 1;
    if (std::isfinite(level.value)) {
      lo[side] = std::min(lo[side], level.value);
      hi[side] = std::max(hi[side], level.value);
      right = right || side == 1;
    }
  }
  FitAxisTo(state, lo[0], hi[0], pane.area.Height(), metrics, pane.axis);
  pane.right.reset();
  if (right)
    FitAxisTo(state, lo[1], hi[1], pane.area.Height(), metrics, pane.right.emplace());
}

void BuildTraceMarks(State& state) {
  if (state.layout.panes.empty())
    return;
  const Pane& pane = state.layout.panes.front();
  const Layout& layout = state.layout;
  const double t0 = state.view.Start();
  const double t1 = state.view.End();
  const std::vector<ReviewTrace>& traces = state.traceSet.traces;
  for (std::size_t t = 0; t < traces.size(); ++t) {
    const ReviewTrace& trace = traces[t];
    const SeriesSummary& summary = state.traceSummaries[t];
    const ValueAxis* axis = AxisOf(pane, trace.side);
    if (axis == nullptr || !summary.hasValue)
      continue;
    const Look look = TraceLook(trace);
    if (look.line) {
      const std::vector<std::size_t> kept =
          DecimateColumns(trace.xs, trace.ys, t0, t1, layout.plot.Width());
      CurvePiece* piece = nullptr;
      for (std::size_t j = 0; j < kept.size(); ++j) {
        const std::size_t i = kept[j];
        if (piece == nullptr || GapBetween(summary, kept[j - 1], i))
          piece = &state.curves.emplace_back(CurvePiece{look, {}});
        piece->points.push_back(
            {XOf(layout, state.view, trace.xs[i]), YOf(pane.area, *axis, trace.ys[i])});
      }
    }
    if (!Marked(trace))
      continue;
    MarkerSet& set = state.markers.emplace_back(MarkerSet{look, {}});
    const auto [i0, i1] = FramesWithin(trace.xs, t0, t1);
    for (std::size_t i = i0; i < i1; ++i) {
      if (std::isnan(trace.ys[i]))
        continue;
      const TPoint p{XOf(layout, state.view, trace.xs[i]), YOf(pane.area, *axis, trace.ys[i])};
      // Markers on one pixel are drawn once.
      if (set.points.empty() || !(set.points.back() == p))
        set.points.push_back(p);
    }
  }
}

std::optional<ReadoutDetail> MakeTraceReadout(const State& state) {
  const TRect& plot = state.layout.plot;
  if (!state.hover || !plot.Contains(state.hover->X, state.hover->Y) || !HasContent(state))
    return std::nullopt;
  const double time = state.view.TimeAt(state.hover->X - plot.Left + 0.5);
  const std::vector<ReviewTrace>& traces = state.traceSet.traces;
  std::optional<std::pair<std::size_t, std::size_t>> cursor;
  double nearest = std::numeric_limits<double>::infinity();
  for (std::size_t t = 0; t < traces.size(); ++t) {
    const std::vector<double>& xs = traces[t].xs;
    const auto [i0, i1] = FramesWithin(xs, state.view.Start(), state.view.End());
    if (i0 == i1)
      continue;
    const std::size_t i =
        i0 + *NearestIndex(std::span<const double>(xs).subspan(i0, i1 - i0), time);
    if (std::fabs(xs[i] - time) < nearest) {
      nearest = std::fabs(xs[i] - time);
      cursor = {t, i};
    }
  }
  if (!cursor)
    return std::nullopt;

  const ReviewTrace& reference = traces[cursor->first];
  const double at = reference.xs[cursor->second];
  ReadoutDetail detail;
  ReviewReadout& readout = detail.readout;
  readout.x = XOf(state.layout, state.view, at);
  readout.elapsedMs = at;
  readout.lines.push_back(TimeLine(state, at));
  if (cursor->second < reference.keys.size())
    readout.lines.push_back(state.traceSet.keyName + ' ' +
                            std::to_string(reference.keys[cursor->second]));
  detail.firstValueLine = readout.lines.size();
  for (const ReviewTrace& trace : traces) {
    const auto it = std::lower_bound(trace.xs.begin(), trace.xs.end(), at);
    if (it == trace.xs.end() || *it != at)
      continue;
    const double value = trace.ys[static_cast<std::size_t>(it - trace.xs.begin())];
    if (std::isnan(value))
      continue;
    std::string line = trace.name + ' ';
    line += FormatFixed(value, trace.decimals, state.style.decimalSeparator);
    if (!trace.unit.empty())
      line += ' ' + trace.unit;
    readout.lines.push_back(std::move(line));
    detail.valueLooks.push_back(TraceLook(trace));
  }
  return detail;
}

std::optional<ReviewHit> TracePointAt(const State& state, TPoint client, int radiusPx) {
  const Layout& layout = state.layout;
  if (!state.traceMode || layout.panes.empty() || !layout.plot.Contains(client.X, client.Y))
    return std::nullopt;
  const Pane& pane = layout.panes.front();
  const int left = client.X - layout.plot.Left;
  const double t0 = state.view.TimeAt(left - radiusPx - 1);
  const double t1 = state.view.TimeAt(left + radiusPx + 1);
  std::optional<ReviewHit> hit;
  long best = std::numeric_limits<long>::max();
  const std::vector<ReviewTrace>& traces = state.traceSet.traces;
  for (std::size_t t = 0; t < traces.size(); ++t) {
    const ReviewTrace& trace = traces[t];
    const ValueAxis* axis = AxisOf(pane, trace.side);
    if (axis == nullptr || !Marked(trace))
      continue;
    const auto [i0, i1] =
        FramesWithin(trace.xs, std::max(t0, state.view.Start()), std::min(t1, state.view.End()));
    for (std::size_t i = i0; i < i1; ++i) {
      if (std::isnan(trace.ys[i]))
        continue;
      const long dx = XOf(layout, state.view, trace.xs[i]) - client.X;
      const long dy = YOf(pane.area, *axis, trace.ys[i]) - client.Y;
      if (std::labs(dx) > radiusPx || std::labs(dy) > radiusPx || dx * dx + dy * dy >= best)
        continue;
      best = dx * dx + dy * dy;
      hit = ReviewHit{t, i, {}};
      if (i < trace.keys.size())
        hit->key = trace.keys[i];
    }
  }
  return hit;
}

}  // namespace korvane::chart::review_plot
