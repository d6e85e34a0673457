// SPDX-License-Identifier: GPL-3.0-or-later
#include "review_plot_state.h"

#include "korvane/chart/palette.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace korvane::chart::review_plot {

SeriesSummary Summarize(std::span<const double> ys) {
  SeriesSummary s;
  const std::size_t blocks = (ys.size() + kBlock - 1) / kBlock;
  s.blockMin.assign(blocks, std::numeric_limits<double>::infinity());
  s.blockMax.assign(blocks, -std::numeric_limits<double>::infinity());
  std::size_t nans = 0;
  for (std::size_t i = 0; i < ys.size(); ++i) {
    const double y = ys[i];
    if (std::isnan(y)) {
      ++nans;
      continue;
    }
    double& lo = s.blockMin[i / kBlock];
    double& hi = s.blockMax[i / kBlock];
    lo = std::min(lo, y);
    hi = std::max(hi, y);
  }
  s.hasValue = nans < ys.size();
  if (nans > 0 && s.hasValue) {
    s.nanBefore.resize(ys.size() + 1);
    std::uint32_t count = 0;
    for (std::size_t i = 0; i < ys.size(); ++i) {
      s.nanBefore[i] = count;
      count += std::isnan(ys[i]) ? 1 : 0;
    }
    s.nanBefore[ys.size()] = count;
  }
  return s;
}

void ExtendRange(const SeriesSummary& summary, std::span<const double> ys, std::size_t i0,
                 std::size_t i1, double& lo, double& hi) {
  if (!summary.hasValue || i0 >= i1 || i1 > ys.size())
    return;
  const auto scan = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
      // NaN fails both comparisons, so gaps leave the range alone.
      if (ys[i] < lo)
        lo = ys[i];
      if (ys[i] > hi)
        hi = ys[i];
    }
  };
  const std::size_t firstWhole = (i0 + kBlock - 1) / kBlock;
  const std::size_t endWhole = i1 / kBlock;
  if (firstWhole >= endWhole) {
    scan(i0, i1);
    return;
  }
  scan(i0, firstWhole * kBlock);
  for (std::size_t b = firstWhole; b < endWhole; ++b) {
    lo = std::min(lo, summary.blockMin[b]);
    hi = std::max(hi, summary.blockMax[b]);
  }
  scan(endWhole * kBlock, i1);
}

bool GapBetween(const SeriesSummary& summary, std::size_t a, std::size_t b) {
  if (summary.nanBefore.empty() || b <= a + 1)
    return false;
  return summary.nanBefore[b] != summary.nanBefore[a + 1];
}

std::pair<std::size_t, std::size_t> FramesWithin(std::span<const double> xs, double t0, double t1) {
  const auto first = std::lower_bound(xs.begin(), xs.end(), t0);
  const auto last = std::upper_bound(first, xs.end(), t1);
  return {static_cast<std::size_t>(first - xs.begin()),
          static_cast<std::size_t>(last - xs.begin())};
}

TColor SeriesColor(ReviewSeries s) {
  // The live chart draws input voltage, output voltage and cells 1 to 7 as its series 0 to 8.
  switch (s) {
    case ReviewSeries::kInputVoltage:
      return NormalColor(0);
    case ReviewSeries::kOutputVoltage:
      return NormalColor(1);
    case ReviewSeries::kCurrent:
      return kOkabeItoBluishGreen;
    case ReviewSeries::kCapacity:
      return kOkabeItoReddishPurple;
    case ReviewSeries::kTemperature:
      return kOkabeItoOrange;
    default:
      return NormalColor(2 + static_cast<int>(s) - static_cast<int>(ReviewSeries::kCell1));
  }
}

TPenStyle RunPenStyle(std::size_t run) {
  static constexpr std::array<TPenStyle, 5> kStyles = {
      TPenStyle::Solid, TPenStyle::Dash, TPenStyle::Dot, TPenStyle::DashDot, TPenStyle::DashDotDot};
  return kStyles[run % kStyles.size()];
}

Look RunLook(std::size_t run, ReviewSeries s) {
  return {SeriesColor(s), RunPenStyle(run), ReviewMark::kNone, true};
}

Look TraceLook(const ReviewTrace& trace) {
  return {trace.color, trace.penStyle, trace.mark, trace.joined || trace.mark == ReviewMark::kNone};
}

std::string SeriesUnit(ReviewSeries s, const ReviewPlotStyle& style) {
  switch (s) {
    case ReviewSeries::kCurrent:
      return "A";
    case ReviewSeries::kCapacity:
      return "Ah";
    case ReviewSeries::kTemperature:
      return style.temperatureUnit;
    default:
      return "V";
  }
}

std::string FormatFixed(double value, int decimals, std::string_view decimalSeparator) {
  if (!std::isfinite(value))
    return "\u2013";
  char buf[64];
  const auto result =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  std::string text(buf, result.ptr);
  if (text.starts_with('-') && text.find_first_not_of("-0.") == std::string::npos)
    text.erase(0, 1);  // no "-0.000"
  const std::size_t dot = text.find('.');
  if (dot != std::string::npos)
    text.replace(dot, 1, decimalSeparator);
  return text;
}

ReviewSeriesMask Plotted(const State& state) {
  ReviewSeriesMask mask = 0;
  for (const auto& summaries : state.summaries) {
    for (int k = 0; k < kReviewSeriesCount; ++k) {
      if (summaries[static_cast<std::size_t>(k)].hasValue)
        mask |= ReviewSeriesMask{1} << k;
    }
  }
  return mask & state.shown;
}

bool HasContent(const State& state) {
  if (!state.traceMode)
    return !state.runs.empty() && Plotted(state) != 0;
  for (const SeriesSummary& summary : state.traceSummaries) {
    if (summary.hasValue)
      return true;
  }
  return false;
}

double SpanStart(const State& state) {
  if (state.traceMode)
    return TraceSpanStart(state);
  double start = 0;
  for (const ReviewRun& run : state.runs) {
    if (!run.elapsedMs.empty())
      start = std::min(start, run.elapsedMs.front());
  }
  return start;
}

double SpanEnd(const State& state) {
  if (state.traceMode)
    return TraceSpanEnd(state);
  double end = 0;
  for (const ReviewRun& run : state.runs) {
    if (!run.elapsedMs.empty())
      end = std::max(end, run.elapsedMs.back());
  }
  return end;
}

}  // namespace korvane::chart::review_plot
