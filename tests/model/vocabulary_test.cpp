#include "korvane/model/vocabulary.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace korvane::model {
namespace {

S_HARDWARE_DATA WithChannel(int channel, int mode, int status) {
  S_HARDWARE_DATA r;
  r.Channels[static_cast<std::size_t>(channel)].OperationMode = static_cast<std::uint8_t>(mode);
  r.Channels[static_cast<std::size_t>(channel)].OperationStatus = static_cast<std::uint8_t>(status);
  return r;
}

constexpr const char* kUntouched = "<untouched>";

struct ModeCase {
  int mode;
  int status;
  const char* mode_text;
  const char* status_text;  // kUntouched: the caller's text stays
};

const ModeCase kModeCases[] = {
    {0, 0, "Not Operation", kUntouched},
    {0, 4, "Not Operation", kUntouched},
    {1, 0, "Charge", "AUTO"},
    {1, 1, "Charge", "NORMAL"},
    {1, 2, "Charge", "LINEAR"},
    {1, 3, "Charge", "REFLEX"},
    {1, 4, "Charge", "CC-CV"},
    {1, 5, "Charge", "Unknown"},
    {1, 255, "Charge", "Unknown"},
    {2, 0, "Discharge", "AUTO"},
    {2, 1, "Discharge", "NORMAL"},
    {2, 2, "Discharge", "LINEAR"},
    {2, 3, "Discharge", "Unknown"},
    {2, 4, "Discharge", "Unknown"},
    {3, 0, "Delay Time", "DISCH - CHRG"},
    {3, 77, "Delay Time", "DISCH - CHRG"},
    {4, 0, "Pause Time", "TOO HOT"},
    {4, 255, "Pause Time", "TOO HOT"},
    {5, 0, "Current mode finished", "DELTA-PEAK"},
    {5, 1, "Current mode finished", "ZERO-PEAK"},
    {5, 2, "Current mode finished", "CC-CV"},
    {5, 3, "Current mode finished", "CUTOFF DIS"},
    {5, 4, "Current mode finished", "TEMP END"},
    {5, 5, "Current mode finished", "MAX CAP"},
    {5, 6, "Current mode finished", "FLAT END"},
    {5, 7, "Current mode finished", "TIME END"},
    {5, 8, "Current mode finished", "TCS END"},
    {5, 9, "Current mode finished", "Unknown"},
    {6, 0, "Error", "INPUT VOLT"},
    {6, 1, "Error", "NO BATT"},
    {6, 2, "Error", "POLARITY"},
    {6, 3, "Error", "OPEN CIRCUIT"},
    {6, 4, "Error", "CIRCUIT"},
    {6, 5, "Error", "BATT VOLT LOW"},
    {6, 6, "Error", "BATT VOLT HIGH"},
    {6, 7, "Error", "TEMP SENS"},
    {6, 8, "Error", "BATT TEMP LOW"},
    {6, 9, "Error", "BATT TEMP HIGH"},
    {6, 10, "Error", "INT TEMP SENSOR"},
    {6, 11, "Error", "I2C INT"},
    {6, 12, "Error", "BAL VOLT HIGH"},
    {6, 13, "Error", "BAL VOLT LOW"},
    {6, 14, "Error", "BAL CONN"},
    {6, 15, "Error", "BAL MODE"},
    {6, 16, "Error", "Unknown"},
    {7, 1, "Unknown", kUntouched},
    {8, 1, "Store", kUntouched},
    {9, 1, "Unknown", kUntouched},
    {200, 4, "Unknown", kUntouched},
    {255, 0, "Unknown", kUntouched},
};

TEST(Vocabulary, ModeAndStatusTextsOnBothChannels) {
  for (const ModeCase& c : kModeCases) {
    for (int channel = 0; channel < 2; ++channel) {
      const S_HARDWARE_DATA r = WithChannel(channel, c.mode, c.status);
      std::string status = kUntouched;
      EXPECT_EQ(GetModeText(r, channel, status), c.mode_text) << c.mode << "/" << c.status;
      EXPECT_EQ(status, c.status_text) << c.mode << "/" << c.status;
      // The other channel's block (mode 0) is not consulted.
      std::string other = kUntouched;
      EXPECT_EQ(GetModeText(r, 1 - channel, other), "Not Operation");
    }
  }
}

TEST(Vocabulary, ExportJoinsModeAndStatus) {
  EXPECT_EQ(ModeWithStatusText(WithChannel(0, 1, 4), 0), "Charge (CC-CV)");
  EXPECT_EQ(ModeWithStatusText(WithChannel(0, 4, 9), 0), "Pause Time (TOO HOT)");
  EXPECT_EQ(ModeWithStatusText(WithChannel(0, 0, 0), 0), "Not Operation");
  EXPECT_EQ(ModeWithStatusText(WithChannel(1, 8, 2), 1), "Store");
}

struct TemperatureCase {
  int magnitude;
  int sign;
  int unit;
  const char* with_unit;
  const char* without_unit;
};

TEST(Vocabulary, NumberTextsWithPointAndComma) {
  struct MilliCase {
    std::uint16_t raw;
    const char* point;
    const char* comma;
  };
  const MilliCase milli[] = {{12000, "12.000", "12,000"}, {4100, "4.100", "4,100"},
                             {0, "0.000", "0,000"},       {65535, "65.535", "65,535"},
                             {1, "0.001", "0,001"},       {999, "0.999", "0,999"},
                             {1000, "1.000", "1,000"}};
  const TemperatureCase temps[] = {
      {250, 1, 0, "25.0\u00B0C", "25.0"}, {55, 0, 1, "-5.5\u00B0F", "-5.5"},
      {0, 0, 0, "0.0\u00B0C", "0.0"},     {0, 1, 1, "0.0\u00B0F", "0.0"},
      {123, 7, 2, "12.3\u00B0C", "12.3"}, {65535, 0, 0, "-6553.5\u00B0C", "-6553.5"},
      {9, 255, 1, "0.9\u00B0F", "0.9"},
  };
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    testing::ScopedLocale scoped(locale);
    ASSERT_TRUE(scoped.Ok()) << locale << " missing: run `make deps`";
    const bool comma = std::string(locale) != "C";
    for (const MilliCase& c : milli) {
      EXPECT_EQ(FormatMilli(c.raw), comma ? c.comma : c.point) << locale;
    }
    for (const TemperatureCase& c : temps) {
      S_HARDWARE_DATA r;
      r.Channels[1].Temperature = static_cast<std::uint16_t>(c.magnitude);
      r.Channels[1].TemperatureSign = static_cast<std::uint8_t>(c.sign);
      r.Channels[1].TemperatureUnit = static_cast<std::uint8_t>(c.unit);
      std::string with_unit = c.with_unit;
      std::string without_unit = c.without_unit;
      if (comma) {
        with_unit[with_unit.find('.')] = ',';
        without_unit[without_unit.find('.')] = ',';
      }
      EXPECT_EQ(FormatTemperature(r, 1, true), with_unit) << locale;
      EXPECT_EQ(FormatTemperature(r, 1, false), without_unit) << locale;
    }
  }
}

}  // namespace
}  // namespace korvane::model
