// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/review_axis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace korvane::chart {
namespace {

constexpr std::int64_t kS = 1000;
constexpr std::int64_t kMin = 60 * kS;
constexpr std::int64_t kH = 60 * kMin;
constexpr std::int64_t kD = 24 * kH;

struct StepCase {
  double span, width, spacing;
  std::int64_t step;
};

TEST(ReviewTimeStep, PicksTheSmallestClockStepThatKeepsTheSpacing) {
  const StepCase cases[] = {
      {10 * kS, 1100, 80, kS},
      {60 * kS, 1100, 80, 5 * kS},
      {3 * kMin, 1100, 80, 15 * kS},
      {10 * kMin, 800, 80, kMin},  // exactly one minute needed: not widened to two
      {10 * kMin, 799, 80, 2 * kMin},
      {kH, 1100, 80, 5 * kMin},
      {3 * kH, 1100, 80, 15 * kMin},
      {24 * kH, 1100, 80, 2 * kH},
      {36 * kH, 1100, 80, 3 * kH},
      {7 * kD, 1100, 80, kD},
      {30 * kD, 1100, 80, 3 * kD},  // past a day: whole days
      {0, 1100, 80, kS},
      {kH, 0, 80, kS},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReviewTimeStep(c.span, c.width, c.spacing), c.step) << c.span << " over " << c.width;
}

TEST(ReviewTimeTicks, KeepTheSpacingAndFillTheAxisOverSpansFromSecondsToDays) {
  const double width = 1100;
  const double spacing = 80;
  for (double span = 10 * kS; span <= 7 * kD; span *= 1.37) {
    const auto ticks = ReviewTimeTicks(1234, 1234 + span, width, spacing);
    ASSERT_GE(ticks.size(), 2u) << span;
    const double px = (ticks[1].value - ticks[0].value) * width / span;
    EXPECT_GE(px, spacing) << span;
    // Not so coarse that fewer than a third of the possible ticks show.
    EXPECT_GE(static_cast<double>(ticks.size()), width / spacing / 3) << span;
    for (const auto& t : ticks) {
      EXPECT_GE(t.value, 1234);
      EXPECT_LE(t.value, 1234 + span);
    }
  }
}

TEST(ReviewTimeTicks, LabelMultiplesOfTheStepAsClockTime) {
  auto ticks = ReviewTimeTicks(7 * kS, 62 * kS, 1100, 80);  // 5 s step
  ASSERT_EQ(ticks.size(), 11u);
  EXPECT_EQ(ticks.front().value, 10 * kS);
  EXPECT_EQ(ticks.front().label, "0:00:10");
  EXPECT_EQ(ticks.back().label, "0:01:00");

  ticks = ReviewTimeTicks(0, kH, 1100, 80);
  ASSERT_EQ(ticks.size(), 13u);
  EXPECT_EQ(ticks[3].label, "0:15:00");
  EXPECT_EQ(ticks.back().label, "1:00:00");

  EXPECT_TRUE(ReviewTimeTicks(10, 5, 1100, 80).empty());
  EXPECT_TRUE(ReviewTimeTicks(0, NAN, 1100, 80).empty());
  EXPECT_TRUE(ReviewTimeTicks(0, kH, 0, 80).empty());
}

TEST(FormatElapsed, WritesUnpaddedHoursAndTwoDigitMinutesAndSeconds) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {0, "0:00:00"},
      {15 * kMin, "0:15:00"},
      {kH - 1, "0:59:59"},  // truncated, never rounded up to the next second
      {10 * kH + kMin + kS, "10:01:01"},
      {26 * kH, "26:00:00"},
      {7 * kD, "168:00:00"},
  };
  for (const auto& [ms, text] : cases)
    EXPECT_EQ(FormatElapsed(ms), text) << ms;
}

struct ValueCase {
  double v0, v1, length, spacing;
  std::vector<std::string> labels;
};

std::vector<std::string> Labels(const std::vector<ReviewTick>& ticks) {
  std::vector<std::string> labels;
  for (const auto& t : ticks)
    labels.push_back(t.label);
  return labels;
}

TEST(ReviewValueTicks, StepOneTwoFiveWithExactLabels) {
  const ValueCase cases[] = {
      {0, 10, 500, 80, {"0", "2", "4", "6", "8", "10"}},
      {-1, 1, 200, 50, {"-1", "-0.5", "0", "0.5", "1"}},
      {0, 12000, 300, 80, {"0", "5000", "10000"}},
      {4.1985, 4.2015, 300, 80, {"4.199", "4.2", "4.201"}},
      {3.1, 4.25, 400, 80, {"3.5", "4"}},
      {0.3, 0.7, 400, 80, {"0.3", "0.4", "0.5", "0.6", "0.7"}},  // ends inside despite rounding
  };
  for (const auto& c : cases)
    EXPECT_EQ(Labels(ReviewValueTicks(c.v0, c.v1, c.length, c.spacing, ".")), c.labels)
        << c.v0 << ".." << c.v1;
  EXPECT_EQ(Labels(ReviewValueTicks(-1, 1, 200, 50, ",")),
            (std::vector<std::string>{"-1", "-0,5", "0", "0,5", "1"}));
  EXPECT_TRUE(ReviewValueTicks(2, 1, 200, 50, ".").empty());
}

TEST(ReviewValueTicks, EveryLabelReadsBackAsItsTickAcrossScales) {
  const double v0s[] = {-3.7, 0, 0.0123, 4.199, 12.34, 998.5, 35000};
  const double widths[] = {1e-4, 0.013, 0.9, 3, 47, 1234, 5e5};
  for (const double v0 : v0s) {
    for (const double w : widths) {
      const auto ticks = ReviewValueTicks(v0, v0 + w, 500, 40, ".");
      ASSERT_FALSE(ticks.empty()) << v0 << " + " << w;
      const double step = ReviewValueStep(w, 500, 40);
      const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
      EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 ||
                  std::fabs(mantissa - 5) < 1e-9)
          << step;
      std::set<std::string> distinct;
      for (const auto& t : ticks) {
        EXPECT_EQ(std::strtod(t.label.c_str(), nullptr), t.value) << t.label;
        distinct.insert(t.label);
      }
      EXPECT_EQ(distinct.size(), ticks.size()) << v0 << " + " << w;
    }
  }
}

}  // namespace
}  // namespace korvane::chart
