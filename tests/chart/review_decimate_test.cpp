// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/review_decimate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <vector>

namespace korvane::chart {
namespace {

struct Series {
  std::vector<double> xs, ys;
};

// Sorted times with irregular gaps and repeats; values a noisy ramp with rare spikes either way
// and rare gaps (NaN).
Series RandomSeries(unsigned seed, int n) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> gap(0, 2000);
  std::uniform_real_distribution<double> noise(-0.01, 0.01);
  std::uniform_int_distribution<int> event(0, 99);
  Series s;
  double x = 0;
  for (int i = 0; i < n; ++i) {
    x += event(rng) < 5 ? 0 : gap(rng);
    double y = 3.5 + i * 1e-4 + noise(rng);
    const int e = event(rng);
    if (e < 2)
      y += 5;
    else if (e < 4)
      y -= 5;
    else if (e < 6)
      y = NAN;
    s.xs.push_back(x);
    s.ys.push_back(y);
  }
  return s;
}

struct Window {
  double x0, x1;
  int columns;
};

TEST(DecimateColumns, KeepsEveryColumnsExtremesAndEndsAgainstBruteForce) {
  for (unsigned seed = 1; seed <= 6; ++seed) {
    const Series s = RandomSeries(seed, 5000);
    const double full = s.xs.back();
    const Window windows[] = {
        {0, full, 1100},                  // many points per column
        {full * 0.3, full * 0.35, 640},   // zoomed in: a part, few points per column
        {full * 0.5, full * 0.5 + 1, 7},  // a range with next to no points
        {-full, full * 0.2, 3},           // starts before the data
        {s.xs[100], s.xs[200], 50},       // ends exactly on points
    };
    for (const auto& w : windows) {
      const auto kept = DecimateColumns(s.xs, s.ys, w.x0, w.x1, w.columns);
      SCOPED_TRACE(::testing::Message() << "seed " << seed << " window " << w.x0 << ".." << w.x1);

      // The oracle: every visible valued point by column.
      std::map<int, std::vector<std::size_t>> columns;
      for (std::size_t i = 0; i < s.xs.size(); ++i) {
        if (s.xs[i] >= w.x0 && s.xs[i] <= w.x1 && !std::isnan(s.ys[i]))
          columns[ReviewColumnOf(s.xs[i], w.x0, w.x1, w.columns)].push_back(i);
      }
      std::map<int, std::vector<std::size_t>> got;
      for (std::size_t k = 0; k < kept.size(); ++k) {
        const std::size_t i = kept[k];
        ASSERT_LT(i, s.xs.size());
        if (k > 0) {
          ASSERT_LT(kept[k - 1], i);  // ascending, so sorted by x and without repeats
        }
        ASSERT_GE(s.xs[i], w.x0);
        ASSERT_LE(s.xs[i], w.x1);
        ASSERT_FALSE(std::isnan(s.ys[i]));
        got[ReviewColumnOf(s.xs[i], w.x0, w.x1, w.columns)].push_back(i);
      }
      ASSERT_EQ(got.size(), columns.size());
      for (const auto& [column, all] : columns) {
        const auto& mine = got[column];
        ASSERT_LE(mine.size(), 4u) << column;
        EXPECT_EQ(mine.front(), all.front()) << column;
        EXPECT_EQ(mine.back(), all.back()) << column;
        double lo = INFINITY, hi = -INFINITY, mlo = INFINITY, mhi = -INFINITY;
        for (const std::size_t i : all) {
          lo = std::min(lo, s.ys[i]);
          hi = std::max(hi, s.ys[i]);
        }
        for (const std::size_t i : mine) {
          mlo = std::min(mlo, s.ys[i]);
          mhi = std::max(mhi, s.ys[i]);
        }
        EXPECT_EQ(mlo, lo) << column;
        EXPECT_EQ(mhi, hi) << column;
      }
    }
  }
}

TEST(DecimateColumns, GivesNothingForUnusableInput) {
  const std::vector<double> xs = {0, 1, 2};
  const std::vector<double> ys = {1, 2, 3};
  const std::vector<double> nan = {NAN, NAN, NAN};
  EXPECT_TRUE(DecimateColumns(xs, ys, 2, 0, 10).empty());
  EXPECT_TRUE(DecimateColumns(xs, ys, 1, 1, 10).empty());
  EXPECT_TRUE(DecimateColumns(xs, ys, 0, 2, 0).empty());
  EXPECT_TRUE(DecimateColumns(xs, std::vector<double>{1, 2}, 0, 2, 10).empty());
  EXPECT_TRUE(DecimateColumns(xs, nan, 0, 2, 10).empty());
  EXPECT_TRUE(DecimateColumns(xs, ys, 5, 9, 10).empty());
  EXPECT_EQ(DecimateColumns(xs, ys, 0, 2, 1), (std::vector<std::size_t>{0, 2}));
}

}  // namespace
}  // namespace korvane::chart
