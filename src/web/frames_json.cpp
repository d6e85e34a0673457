// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/web/frames_json.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "korvane/chart/review_decimate.h"

namespace korvane::web {
namespace {

constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();

// One series in raw units (mV, mA, mAh, tenths of a degree), NaN where there is no value.
struct Series {
  const char* key;
  int decimals;  // raw / 10^decimals is the unit the page shows
  std::vector<double> raw;
};

// Written by hand rather than through a JSON library: this is the hot path of a 24 h run (tens
// of thousands of numbers), and raw integers print exactly without a floating-point detour.
void AppendScaled(std::string& out, double raw, int decimals) {
  if (std::isnan(raw)) {
    out += "null";
    return;
  }
  auto value = static_cast<long long>(std::llround(raw));
  if (value < 0) {
    out += '-';
    value = -value;
  }
  long long scale = 1;
  for (int i = 0; i < decimals; ++i) {
    scale *= 10;
  }
  char digits[24];
  auto [end, error] = std::to_chars(digits, digits + sizeof digits, value / scale);
  out.append(digits, end);
  long long fraction = value % scale;
  if (fraction == 0) {
    return;
  }
  int places = decimals;
  while (fraction % 10 == 0) {
    fraction /= 10;
    --places;
  }
  out += '.';
  std::array<char, 8> text{};
  for (int i = places - 1; i >= 0; --i, fraction /= 10) {
    text[static_cast<std::size_t>(i)] = static_cast<char>('0' + fraction % 10);
  }
  out.append(text.data(), static_cast<std::size_t>(places));
  static_cast<void>(error);
}

void AppendArray(std::string& out, const std::vector<double>& raw, int decimals,
                 const std::vector<std::size_t>& kept) {
  out += '[';
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (i > 0) {
      out += ',';
    }
    AppendScaled(out, raw[kept[i]], decimals);
  }
  out += ']';
}

}  // namespace

std::string FramesJson(const record::RunSummary& run,
                       const std::vector<record::StoredFrame>& frames, const FramesQuery& query) {
  const auto channel = static_cast<std::size_t>(std::clamp(run.channel, 1, 2) - 1);
  const std::int64_t from = query.from_ms.value_or(0);
  const std::int64_t to = query.to_ms.value_or(std::max<std::int64_t>(run.DurationMs(), from));

  std::vector<double> t;
  t.reserve(frames.size());
  std::vector<Series> series = {{"output_v", 3, {}},
                                {"input_v", 3, {}},
                                {"current_a", 3, {}},
                                {"capacity_mah", 0, {}},
                                {"temperature", 1, {}}};
  std::array<std::vector<double>, model::kCellCount> cells;
  std::array<bool, model::kCellCount> cell_used{};
  for (Series& s : series) {
    s.raw.reserve(frames.size());
  }
  for (const record::StoredFrame& frame : frames) {
    const model::S_CHANNEL_DATA& ch = frame.record.Channels[channel];
    t.push_back(static_cast<double>(frame.record.UtcMs - run.start_ms));
    series[0].raw.push_back(ch.OutputVoltage);
    series[1].raw.push_back(ch.InputVoltage);
    series[2].raw.push_back(ch.OutputCurrent);
    series[3].raw.push_back(ch.OutputCapacity);
    const double tenths = ch.Temperature;
    series[4].raw.push_back(ch.TemperatureSign == 0 ? -tenths : tenths);
    for (std::size_t c = 0; c < cells.size(); ++c) {
      const std::uint16_t mv = ch.CellVoltage[c];
      cell_used[c] = cell_used[c] || mv != 0;
      cells[c].push_back(mv == 0 ? kMissing : mv);
    }
  }
  for (std::size_t c = 0; c < cells.size(); ++c) {
    if (cell_used[c]) {
      series.push_back({"cell", 3, std::move(cells[c])});
    }
  }

  // The union of every series' kept points. A clock step back can unsort the times; the
  // decimation wants them sorted, so such frames are left out.
  std::vector<char> keep(t.size(), 0);
  const bool sorted = std::is_sorted(t.begin(), t.end());
  for (const Series& s : series) {
    if (!sorted) {
      break;
    }
    for (const std::size_t i : chart::DecimateColumns(t, s.raw, static_cast<double>(from),
                                                      static_cast<double>(to), query.width)) {
      keep[i] = 1;
    }
  }
  std::vector<std::size_t> kept;
  for (std::size_t i = 0; i < keep.size(); ++i) {
    if (keep[i] != 0) {
      kept.push_back(i);
    }
  }

  std::string out = "{\"id\":" + std::to_string(run.id) +
                    ",\"start_utc_ms\":" + std::to_string(run.start_ms) +
                    ",\"from\":" + std::to_string(from) + ",\"to\":" + std::to_string(to) +
                    ",\"width\":" + std::to_string(query.width) + ",\"t\":";
  out.reserve(out.size() + kept.size() * 8 * (series.size() + 1));
  AppendArray(out, t, 0, kept);
  bool in_cells = false;
  for (const Series& s : series) {
    const bool cell = std::string_view(s.key) == "cell";
    if (cell && !in_cells) {
      out += ",\"cells_v\":[";
    } else if (cell) {
      out += ',';
    } else {
      out += ",\"" + std::string(s.key) + "\":";
    }
    in_cells = in_cells || cell;
    AppendArray(out, s.raw, s.decimals, kept);
  }
  out += in_cells ? "]}" : ",\"cells_v\":[]}";
  return out;
}

}  // namespace korvane::web
