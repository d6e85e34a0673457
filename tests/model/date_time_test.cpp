#include "korvane/model/date_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "test_support.h"

namespace korvane::model {
namespace {

// Sets TZ for one test and restores the previous zone.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) {
      previous_ = old;
      had_ = true;
    }
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (had_) {
      setenv("TZ", previous_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::string previous_;
  bool had_ = false;
};

TEST(DateTime, EncodesDaysSince1899) {
  EXPECT_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
  EXPECT_EQ(EncodeDateTime({1900, 1, 1, 0, 0, 0, 0}), 2.0);
  EXPECT_EQ(EncodeDateTime({1970, 1, 1, 0, 0, 0, 0}), 25569.0);
  EXPECT_EQ(EncodeDateTime({2026, 12, 8, 18, 0, 0, 0}), 46364.75);
}

TEST(DateTime, DecodeRoundTripsToTheMillisecond) {
  const DateTimeParts cases[] = {{2026, 12, 8, 10, 57, 28, 123},
                                 {2024, 2, 29, 23, 59, 59, 999},
                                 {1999, 12, 31, 0, 0, 0, 1},
                                 {2000, 3, 1, 12, 30, 0, 500}};
  for (const DateTimeParts& in : cases) {
    const DateTimeParts out = DecodeDateTime(EncodeDateTime(in));
    EXPECT_EQ(out.Year, in.Year);
    EXPECT_EQ(out.Month, in.Month);
    EXPECT_EQ(out.Day, in.Day);
    EXPECT_EQ(out.Hour, in.Hour);
    EXPECT_EQ(out.Minute, in.Minute);
    EXPECT_EQ(out.Second, in.Second);
    EXPECT_EQ(out.Millisecond, in.Millisecond);
  }
}

TEST(DateTime, LocalStampFollowsDaylightSavingTime) {
  ScopedTimeZone zone("Europe/Berlin");
  // 29 March 2026, 00:59:59.250 UTC: 01:59:59.250 CET; one second later 03:00:00.250 CEST.
  const std::int64_t before = 1'774'745'999'250;
  const DateTimeParts a = DecodeDateTime(StampFromUnixMs(before).Local);
  const DateTimeParts b = DecodeDateTime(StampFromUnixMs(before + 1000).Local);
  EXPECT_EQ(a.Hour, 1);
  EXPECT_EQ(a.Minute, 59);
  EXPECT_EQ(a.Millisecond, 250);
  EXPECT_EQ(b.Hour, 3);
  EXPECT_EQ(b.Minute, 0);
  EXPECT_EQ(b.Second, 0);
  EXPECT_EQ(StampFromUnixMs(before).UtcMs, before);
}

TEST(DateTime, CurrentStampAgreesWithTheSystemClock) {
  ScopedTimeZone zone("UTC");
  const std::time_t before = std::time(nullptr);
  const TimeStamp now = CurrentTimeStamp();
  const std::time_t after = std::time(nullptr);
  EXPECT_GE(now.UtcMs / 1000, before);
  EXPECT_LE(now.UtcMs / 1000, after);
  EXPECT_NEAR(now.Local, 25569.0 + static_cast<double>(now.UtcMs) / 86'400'000.0, 1e-8);
}

TEST(DateTime, TextUsesTheLocaleAndDropsMidnight) {
  const double afternoon = EncodeDateTime({2026, 12, 8, 14, 5, 9, 400});
  const double midnight = EncodeDateTime({2026, 12, 8, 0, 0, 0, 0});
  const double just_after = EncodeDateTime({2026, 12, 8, 0, 0, 0, 1});
  {
    testing::ScopedLocale locale("C");
    EXPECT_EQ(DateTimeText(afternoon), "12/08/26 14:05:09");
    EXPECT_EQ(DateTimeText(midnight), "12/08/26");
    EXPECT_EQ(DateTimeText(just_after), "12/08/26 00:00:00");
  }
  {
    testing::ScopedLocale locale("de_DE.UTF-8");
    ASSERT_TRUE(locale.Ok()) << "de_DE.UTF-8 missing: run `make deps`";
    EXPECT_EQ(DateTimeText(afternoon), "08.12.2026 14:05:09");
    EXPECT_EQ(DateTimeText(midnight), "08.12.2026");
  }
}

TEST(OperatingTime, TotalHoursRoundedAtHalfASecond) {
  struct Case {
    std::int64_t ms;
    const char* text;
  };
  const Case cases[] = {
      {0, "0 h 00 m 00 s"},
      {499, "0 h 00 m 00 s"},
      {500, "0 h 00 m 01 s"},
      {59'500, "0 h 01 m 00 s"},
      {((3 * 60 + 5) * 60 + 9) * 1000 + 600, "3 h 05 m 10 s"},
      {((23 * 60 + 59) * 60 + 59) * 1000 + 500, "24 h 00 m 00 s"},
      // Whole days count as hours: a 25-hour charge does not read as one hour.
      {((25 * 60 + 3) * 60 + 4) * 1000LL, "25 h 03 m 04 s"},
      {100LL * 3'600'000 + 59 * 60'000 + 59'700, "101 h 00 m 00 s"},
      {-1, "0 h 00 m 00 s"},
      {-3'600'000, "0 h 00 m 00 s"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OperatingTimeText(c.ms), c.text) << c.ms;
  }
}

}  // namespace
}  // namespace korvane::model
