// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/axis.h"
#include "korvane/chart/chart_types.h"
#include "korvane/chart/trend_chart.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>
#include <vector>

namespace korvane::chart {
namespace {

std::vector<double> Ticks(double min, double max, int count) {
  double step = 0;
  double start = 0;
  CalculateAxis(min, max, count, step, start);
  std::vector<double> ticks;
  for (int i = 0; i <= AxisIntervals(count); ++i)
    ticks.push_back(start + i * step);
  return ticks;
}

struct AxisCase {
  double min, max;
  int count;
  std::vector<double> ticks;
};

TEST(CalculateAxis, PicksNiceStepsCoveringTheRange) {
  const AxisCase cases[] = {
      {3.1, 4.25, 5, {2.8, 3.2, 3.6, 4.0, 4.4}},     // step widened twice
      {-0.25, 0.3, 5, {-0.3, -0.15, 0, 0.15, 0.3}},  // start stepped below a negative min
      {5, 5, 7, {2, 3, 4, 5, 6, 7, 8}},              // equal values: unit grid around them
      {3000, 4200, 7, {3000, 3200, 3400, 3600, 3800, 4000, 4200}},  // exact fit
      {0, 10, 5, {0, 2.5, 5, 7.5, 10}},
      {3.1, 4.25, 2, {3, 3.75, 4.5}},  // two wanted ticks still get two intervals
      {-7, -3, 3, {-7.5, -5, -2.5}},
  };
  for (const AxisCase& c : cases) {
    const std::vector<double> ticks = Ticks(c.min, c.max, c.count);
    ASSERT_EQ(ticks.size(), c.ticks.size()) << c.min << ".." << c.max;
    for (size_t i = 0; i < ticks.size(); ++i) {
      EXPECT_NEAR(ticks[i], c.ticks[i], 1e-9) << c.min << ".." << c.max << " tick " << i;
      if (c.ticks[i] == 0) {  // the zero line of bars depends on an exact comparison with 0
        EXPECT_EQ(ticks[i], 0.0) << c.min << ".." << c.max;
      }
    }
  }
}

TEST(CalculateAxis, TerminatesOnRangesBeyondDoubles) {
  const double cases[][2] = {{-UndefinedValueChart, UndefinedValueChart},
                             {NAN, 1},
                             {0, INFINITY},
                             {1e20, 1e20 + 1e5},
                             {0, 5e-324},  // a subnormal range: its power of ten underflows to 0
                             {-1e-320, 1e-321}};
  for (const auto& c : cases) {
    double step = 0;
    double start = 0;
    CalculateAxis(c[0], c[1], 5, step, start);
    EXPECT_GT(step, 0) << c[0] << ".." << c[1];
    EXPECT_TRUE(std::isfinite(start)) << c[0] << ".." << c[1];
  }
}

TEST(FormatValue, ZeroPointHashHash) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0, "0"},
      {4.25, "4.25"},
      {3, "3"},
      {-0.15, "-0.15"},
      {0.005, "0.01"},
      {0.015, "0.02"},
      {2.675, "2.68"},
      {-0.001, "0"},
      {-0.0, "0"},
      {9.995, "10"},
      {1234567.8, "1234567.8"},
      {1e-9, "0"},
      {0.30000000000000004, "0.3"},
      {-1234.5, "-1234.5"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatValue(c.value, "."), c.text) << c.value;
  EXPECT_EQ(FormatValue(-2.5, ","), "-2,5");
  EXPECT_EQ(FormatValue(1e20, "."), "100000000000000000000");
}

TEST(GetLabel, UndefinedValueReadsTilde) {
  TTrendChart chart;
  EXPECT_EQ(chart.GetLabel(UndefinedValueChart), "~");
  EXPECT_EQ(chart.GetLabel(-UndefinedValueChart).substr(0, 3), "-17");
}

TEST(GetLabel, UsesTheLocaleDecimalSeparator) {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
    GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
  }
  TTrendChart chart;
  const std::string label = chart.GetLabel(4.25);
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(label, "4,25");
}

TEST(RoundPixel, TiesToEvenAndClamps) {
  EXPECT_EQ(RoundPixel(108.5), 108);
  EXPECT_EQ(RoundPixel(109.5), 110);
  EXPECT_EQ(RoundPixel(-2.5), -2);
  EXPECT_EQ(RoundPixel(2.4999), 2);
  EXPECT_EQ(RoundPixel(NAN), 0);
  EXPECT_EQ(RoundPixel(1e300), 1000000000);
  EXPECT_EQ(RoundPixel(-INFINITY), -1000000000);
}

}  // namespace
}  // namespace korvane::chart
