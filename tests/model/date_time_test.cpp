// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/model/date_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "test_support.h"

namespace korvane::model {
namespace {

// Sets TZ for one scope, then unsets it: no other test depends on the zone.
struct ScopedTimeZone {
  explicit ScopedTimeZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    unsetenv("TZ");
    tzset();
  }
};

std::vector<int> Parts(const DateTimeParts& p) {
  return {p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.Millisecond};
}

TEST(DateTime, EncodesDaysSince1899AndDecodesToTheMillisecond) {
  EXPECT_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
  EXPECT_EQ(EncodeDateTime({2026, 12, 8, 18, 0, 0, 0}), 46364.75);
  const DateTimeParts cases[] = {
      {2026, 12, 8, 10, 57, 28, 123}, {2024, 2, 29, 23, 59, 59, 999}, {1999, 12, 31, 0, 0, 0, 1}};
  for (const DateTimeParts& in : cases) {
    EXPECT_EQ(Parts(DecodeDateTime(EncodeDateTime(in))), Parts(in));
  }
}

TEST(DateTime, LocalStampFollowsDaylightSavingTime) {
  ScopedTimeZone zone("Europe/Berlin");
  // 29 March 2026, 00:59:59.250 UTC: 01:59:59.250 CET; one second later 03:00:00.250 CEST.
  const std::int64_t before = 1'774'745'999'250;
  EXPECT_EQ(Parts(DecodeDateTime(StampFromUnixMs(before).Local)),
            (std::vector<int>{2026, 3, 29, 1, 59, 59, 250}));
  EXPECT_EQ(Parts(DecodeDateTime(StampFromUnixMs(before + 1000).Local)),
            (std::vector<int>{2026, 3, 29, 3, 0, 0, 250}));
  EXPECT_EQ(StampFromUnixMs(before).UtcMs, before);
}

// The locales' date and time formats are checked with the export line.
TEST(DateTime, TextLeavesOutTheTimeExactlyAtMidnight) {
  const double midnight = EncodeDateTime({2026, 12, 8, 0, 0, 0, 0});
  {
    testing::ScopedLocale locale("C");
    EXPECT_EQ(DateTimeText(midnight), "12/08/26");
    EXPECT_EQ(DateTimeText(EncodeDateTime({2026, 12, 8, 0, 0, 0, 1})), "12/08/26 00:00:00");
  }
  testing::ScopedLocale locale("de_DE.UTF-8");
  ASSERT_TRUE(locale.Ok()) << "de_DE.UTF-8 missing: run `make deps`";
  EXPECT_EQ(DateTimeText(midnight), "08.12.2026");
}

TEST(OperatingTime, TotalHoursRoundedAtHalfASecond) {
  struct Case {
    std::int64_t ms;
    const char* text;
  };
  const Case cases[] = {
      {499, "0 h 00 m 00 s"},
      {500, "0 h 00 m 01 s"},
      {59'500, "0 h 01 m 00 s"},
      {((3 * 60 + 5) * 60 + 9) * 1000 + 600, "3 h 05 m 10 s"},
      {((23 * 60 + 59) * 60 + 59) * 1000 + 500, "24 h 00 m 00 s"},
      // Whole days count as hours: a 25-hour charge does not read as one hour.
      {((25 * 60 + 3) * 60 + 4) * 1000LL, "25 h 03 m 04 s"},
      {100LL * 3'600'000 + 59 * 60'000 + 59'700, "101 h 00 m 00 s"},
      {-1, "0 h 00 m 00 s"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OperatingTimeText(c.ms), c.text) << c.ms;
  }
}

}  // namespace
}  // namespace korvane::model
