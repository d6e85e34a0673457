// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/review_date_axis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

namespace korvane::chart {
namespace {

// Berlin for one test: a real zone with daylight saving (CET +1, CEST +2 from the last Sunday of
// March to the last Sunday of October, both at 01:00 UTC).
struct BerlinTime : ::testing::Test {
  BerlinTime() {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
  }
  ~BerlinTime() override {
    unsetenv("TZ");
    tzset();
  }
};

double Utc(int year, int month, int day, int hour, int minute = 0) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  return static_cast<double>(timegm(&tm)) * 1000;
}

struct DateCase {
  const char* name;
  double t0, t1;  // UTC
  std::vector<std::string> labels;
};

TEST_F(BerlinTime, TicksFallOnLocalBoundariesOfTheStepTheSpanNeeds) {
  const DateCase cases[] = {
      {"hours",
       Utc(2025, 1, 15, 2, 30),
       Utc(2025, 1, 15, 12, 30),
       {"04:00", "06:00", "08:00", "10:00", "12:00"}},
      {"hours past midnight",
       Utc(2025, 1, 15, 19, 30),
       Utc(2025, 1, 16, 5, 30),
       {"22:00", "2025-01-16", "02:00", "04:00", "06:00"}},
      {"hour repeated in autumn",
       Utc(2025, 10, 25, 22),
       Utc(2025, 10, 26, 3, 30),
       {"2025-10-26", "01:00", "02:00", "02:00", "03:00", "04:00"}},
      {"days across the spring change",
       Utc(2025, 3, 27, 11),
       Utc(2025, 4, 2, 10),
       {"2025-03-28", "2025-03-29", "2025-03-30", "2025-03-31", "2025-04-01", "2025-04-02"}},
      {"weeks start on Monday",
       Utc(2025, 3, 1, 12),
       Utc(2025, 4, 15, 12),
       {"2025-03-03", "2025-03-10", "2025-03-17", "2025-03-24", "2025-03-31", "2025-04-07",
        "2025-04-14"}},
      {"months, January as its year",
       Utc(2024, 11, 10, 12),
       Utc(2025, 6, 20, 12),
       {"2024-12", "2025", "2025-02", "2025-03", "2025-04", "2025-05", "2025-06"}},
      {"years", Utc(2015, 6, 1, 12), Utc(2025, 6, 1, 12), {"2016", "2018", "2020", "2022", "2024"}},
  };
  for (const DateCase& c : cases) {
    std::vector<std::string> labels;
    for (const ReviewTick& tick : ReviewDateTicks(c.t0, c.t1, 600, 80))
      labels.push_back(tick.label);
    EXPECT_EQ(labels, c.labels) << c.name;
  }
}

TEST_F(BerlinTime, DayTicksAreLocalMidnightsSoTheSpringChangeDayLastsTwentyThreeHours) {
  const auto ticks = ReviewDateTicks(Utc(2025, 3, 27, 11), Utc(2025, 4, 2, 10), 600, 80);
  ASSERT_EQ(ticks.size(), 6u);
  EXPECT_EQ(ticks[1].value, Utc(2025, 3, 28, 23));  // 29 March, CET
  EXPECT_EQ(ticks[2].value, Utc(2025, 3, 29, 23));  // 30 March, CET
  EXPECT_EQ(ticks[3].value, Utc(2025, 3, 30, 22));  // 31 March, CEST
}

TEST(ReviewDateTicks, LabelsComeFromTheCallbackWithTheUnitEachTickMarks) {
  setenv("TZ", "UTC", 1);
  tzset();
  const auto ticks =
      ReviewDateTicks(Utc(2024, 10, 1, 0), Utc(2025, 3, 1, 0), 300, 80,
                      [](std::int64_t, ReviewDateUnit unit) { return std::to_string(int(unit)); });
  unsetenv("TZ");
  tzset();
  std::vector<std::string> units;
  for (const ReviewTick& tick : ticks)
    units.push_back(tick.label);
  // Two-month steps from January: November, January (a year), March.
  EXPECT_EQ(units, (std::vector<std::string>{"3", "4", "3"}));
}

TEST(ReviewDateTicks, UnusableRangesGiveNoTicks) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(ReviewDateTicks(nan, 1e12, 600, 80).empty());
  EXPECT_TRUE(ReviewDateTicks(0, 1e300, 600, 80).empty());
  EXPECT_TRUE(ReviewDateTicks(2e12, 1e12, 600, 80).empty());
  EXPECT_TRUE(ReviewDateTicks(1e12, 2e12, 0, 80).empty());
}

}  // namespace
}  // namespace korvane::chart
