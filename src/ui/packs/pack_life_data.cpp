// SPDX-License-Identifier: GPL-3.0-or-later
#include "packs/pack_life_data.h"

#include "korvane/chart/palette.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>

namespace korvane::ui {
namespace {

using chart::ReviewMark;
using chart::ReviewTrace;
using chart::TPenStyle;

constexpr std::array<ReviewMark, 5> kMarks = {ReviewMark::kCircle, ReviewMark::kSquare,
                                              ReviewMark::kTriangle, ReviewMark::kDiamond,
                                              ReviewMark::kTriangleDown};
constexpr std::array<TPenStyle, 5> kPens = {TPenStyle::Solid, TPenStyle::Dash, TPenStyle::Dot,
                                            TPenStyle::DashDot, TPenStyle::DashDotDot};
// The rated line is dashed even for the first pack, so that it never reads as a trend.
constexpr std::array<TPenStyle, 4> kLevelPens = {TPenStyle::Dash, TPenStyle::Dot,
                                                 TPenStyle::DashDot, TPenStyle::DashDotDot};
constexpr TColor kRatedColor = RgbToColor(0x50, 0x50, 0x50);

ReviewTrace MakeTrace(const std::string& pack, const char* series, TColor color, std::size_t index,
                      chart::ReviewSide side, int decimals, const char* unit) {
  ReviewTrace trace;
  trace.name = pack + ' ' + series;
  trace.unit = unit;
  trace.color = color;
  trace.mark = kMarks[index % kMarks.size()];
  trace.penStyle = kPens[index % kPens.size()];
  trace.side = side;
  trace.decimals = decimals;
  return trace;
}

void Add(ReviewTrace& trace, const record::RunSummary& run, double value) {
  trace.xs.push_back(static_cast<double>(run.start_ms));
  trace.ys.push_back(value);
  trace.keys.push_back(run.id);
}

}  // namespace

chart::ReviewTraceSet PackLifeTraces(const std::vector<record::PackFigures>& packs,
                                     const std::vector<record::RunSummary>& runs) {
  chart::ReviewTraceSet set;
  set.leftTitle = "Capacity [mAh]";
  set.rightTitle = "IR [mOhm]";
  set.keyName = "Run";
  set.emptyText = packs.empty() ? "No pack selected" : "No finished runs with a capacity yet";

  std::vector<const record::RunSummary*> ordered;
  ordered.reserve(runs.size());
  for (const record::RunSummary& run : runs)
    ordered.push_back(&run);
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const auto* a, const auto* b) { return a->start_ms < b->start_ms; });

  for (std::size_t p = 0; p < packs.size(); ++p) {
    const record::Pack& pack = packs[p].pack;
    ReviewTrace charges = MakeTrace(pack.name, "charge", chart::kOkabeItoBluishGreen, p,
                                    chart::ReviewSide::kLeft, 0, "mAh");
    ReviewTrace discharges = MakeTrace(pack.name, "discharge", chart::kOkabeItoReddishPurple, p,
                                       chart::ReviewSide::kLeft, 0, "mAh");
    ReviewTrace resistance =
        MakeTrace(pack.name, "IR", chart::kOkabeItoOrange, p, chart::ReviewSide::kRight, 1, "mOhm");
    resistance.joined = true;  // a trend to follow, unlike the capacities' scatter
    for (const record::RunSummary* run : ordered) {
      if (run->pack_id != pack.id || pack.id == 0)
        continue;
      if (const std::optional<int> mah = record::ChargedCapacity(*run))
        Add(charges, *run, *mah);
      if (const std::optional<int> mah = record::DeliveredCapacity(*run))
        Add(discharges, *run, *mah);
      if (run->ir_mohm)
        Add(resistance, *run, *run->ir_mohm);
    }
    set.traces.push_back(std::move(charges));
    set.traces.push_back(std::move(discharges));
    set.traces.push_back(std::move(resistance));
    if (pack.rated_mah > 0) {
      set.levels.push_back({pack.name + " rated", static_cast<double>(pack.rated_mah), kRatedColor,
                            kLevelPens[p % kLevelPens.size()], chart::ReviewSide::kLeft});
    }
  }
  return set;
}

}  // namespace korvane::ui
