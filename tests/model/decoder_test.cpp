// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/model/decoder.h"
#include "korvane/model/vocabulary.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace korvane::model {
namespace {

// A channel's fields in wire order, the seven cells last.
std::vector<unsigned> Fields(const S_CHANNEL_DATA& c) {
  std::vector<unsigned> f = {c.InputVoltage,    c.OperationMode,  c.OperationStatus, c.CycleNumber,
                             c.OutputVoltage,   c.OutputCurrent,  c.OutputCapacity,  c.Temperature,
                             c.TemperatureSign, c.TemperatureUnit};
  f.insert(f.end(), c.CellVoltage.begin(), c.CellVoltage.end());
  return f;
}

TEST(HexToInt, FollowsTheCharacterRule) {
  struct Case {
    std::string text;
    int value;
  };
  const Case cases[] = {
      {"", 0},   {"0", 0},  {"9", 9},   {"A", 10}, {"F", 15},  {"FFFF", 65535}, {"2EE0", 12000},
      {"a", 42}, {"G", 16}, {"1a", 58}, {":", 3},  {" ", -16}, {"\xB0", -128},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HexToInt(c.text), c.value) << '"' << c.text << '"';
  }
}

TEST(DecodePayload, WorkedExampleChannelOne) {
  // Frame code, then channel 1: 2EE0 01 04 03 1F40 0BB8 05DC 00FA 01 00 and seven cells 1004;
  // channel 2 all zero digits.
  const std::string worked =
      "002EE00104031F400BB805DC00FA01001004100410041004100410041004" + std::string(58, '0');
  ASSERT_EQ(worked.size(), kPayloadLength);
  const S_HARDWARE_DATA r = DecodePayload(worked);
  EXPECT_EQ(Fields(r.Channels[0]),
            (std::vector<unsigned>{12000, 1, 4, 3, 8000, 3000, 1500, 250, 1, 0, 4100, 4100, 4100,
                                   4100, 4100, 4100, 4100}));
  EXPECT_EQ(Fields(r.Channels[1]), std::vector<unsigned>(17, 0));
  EXPECT_EQ(r.Time, 0.0);
}

TEST(DecodePayload, EveryFieldOfBothChannelsIsReadFromItsPlace) {
  // Digits that differ from field to field: a field read from the wrong place re-encodes
  // differently.
  std::string payload;
  unsigned x = 12345;
  while (payload.size() < kPayloadLength) {
    x = x * 1103515245U + 12345U;
    payload += "0123456789ABCDEF"[(x >> 16) & 15];
  }
  EXPECT_EQ(testing::EncodePayload(DecodePayload(payload)), payload);
}

TEST(DecodePayload, FieldsKeepTheirWidthAndAShortPayloadOnlyItsCharacters) {
  std::string p(kPayloadLength, '0');
  p.replace(2, 4, "FFFF");   // input voltage 1: unsigned 16 bits
  p.replace(8, 2, "ZZ");     // status 1: 35 * 16 + 35 = 595, low 8 bits 83
  p.replace(60, 4, "aaaa");  // input voltage 2: 42 * 4369 = 183498, low 16 bits 52426
  const S_HARDWARE_DATA r = DecodePayload(p);
  EXPECT_EQ(r.Channels[0].InputVoltage, 65535);
  EXPECT_EQ(r.Channels[0].OperationStatus, 83);
  EXPECT_EQ(r.Channels[1].InputVoltage, 52426);
  // Cut inside channel 1's output voltage ("1F40"): only "1F" remains of it.
  const S_HARDWARE_DATA cut = DecodePayload("002EE00104031F");
  EXPECT_EQ(Fields(cut.Channels[0]),
            (std::vector<unsigned>{12000, 1, 4, 3, 0x1F, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(DecodePayload("").Channels[1].CellVoltage[6], 0);
  EXPECT_EQ(DecodePayload("7").FrameCode, 7);
}

S_HARDWARE_DATA WithChannel(int channel, int mode, int status) {
  S_HARDWARE_DATA r;
  r.Channels[static_cast<std::size_t>(channel)].OperationMode = static_cast<std::uint8_t>(mode);
  r.Channels[static_cast<std::size_t>(channel)].OperationStatus = static_cast<std::uint8_t>(status);
  return r;
}

TEST(Vocabulary, ModeAndStatusTextsOnBothChannels) {
  const std::string untouched = "<untouched>";
  struct ModeCase {
    int mode;
    const char* text;
    std::vector<std::string> statuses;  // for status 0, 1, ...; "Unknown" after the last
    std::string fixed;                  // the status for every value; "" with `statuses`
  };
  const ModeCase cases[] = {
      {0, "Not Operation", {}, untouched},
      {1, "Charge", {"AUTO", "NORMAL", "LINEAR", "REFLEX", "CC-CV"}, ""},
      {2, "Discharge", {"AUTO", "NORMAL", "LINEAR"}, ""},
      {3, "Delay Time", {}, "DISCH - CHRG"},
      {4, "Pause Time", {}, "TOO HOT"},
      {5,
       "Current mode finished",
       {"DELTA-PEAK", "ZERO-PEAK", "CC-CV", "CUTOFF DIS", "TEMP END", "MAX CAP", "FLAT END",
        "TIME END", "TCS END"},
       ""},
      {6,
       "Error",
       {"INPUT VOLT", "NO BATT", "POLARITY", "OPEN CIRCUIT", "CIRCUIT", "BATT VOLT LOW",
        "BATT VOLT HIGH", "TEMP SENS", "BATT TEMP LOW", "BATT TEMP HIGH", "INT TEMP SENSOR",
        "I2C INT", "BAL VOLT HIGH", "BAL VOLT LOW", "BAL CONN", "BAL MODE"},
       ""},
      {7, "Unknown", {}, untouched},
      {8, "Store", {}, untouched},
      {9, "Unknown", {}, untouched},
      {255, "Unknown", {}, untouched},
  };
  for (const ModeCase& c : cases) {
    for (int channel = 0; channel < 2; ++channel) {
      for (std::size_t s = 0; s <= c.statuses.size() + 1; ++s) {
        const int status = s <= c.statuses.size() ? static_cast<int>(s) : 255;
        const S_HARDWARE_DATA r = WithChannel(channel, c.mode, status);
        std::string text = untouched;
        EXPECT_EQ(GetModeText(r, channel, text), c.text) << c.mode << "/" << status;
        const std::string expected = !c.fixed.empty()        ? c.fixed
                                     : s < c.statuses.size() ? c.statuses[s]
                                                             : "Unknown";
        EXPECT_EQ(text, expected) << c.mode << "/" << status;
        // The other channel's block (mode 0) is not consulted.
        EXPECT_EQ(GetModeText(r, 1 - channel, text), "Not Operation");
      }
    }
  }
}

// Modes with a status are joined in the export line test; these have none.
TEST(Vocabulary, ExportTextOfAModeWithoutStatusHasNoBrackets) {
  EXPECT_EQ(ModeWithStatusText(WithChannel(0, 0, 0), 0), "Not Operation");
  EXPECT_EQ(ModeWithStatusText(WithChannel(1, 8, 2), 1), "Store");
}

// Point, comma and most values are checked with the export line; these are the edge cases.
TEST(Vocabulary, TemperatureSignAndUnit) {
  struct Case {
    std::uint16_t magnitude;
    int sign;
    int unit;
    const char* text;
  };
  const Case cases[] = {
      {55, 0, 1, "-5.5\u00B0F"},  {0, 0, 0, "0.0\u00B0C"},         {9, 255, 1, "0.9\u00B0F"},
      {123, 7, 2, "12.3\u00B0C"}, {65535, 0, 0, "-6553.5\u00B0C"},
  };
  testing::ScopedLocale locale("C");
  for (const Case& c : cases) {
    S_HARDWARE_DATA r;
    r.Channels[1].Temperature = c.magnitude;
    r.Channels[1].TemperatureSign = static_cast<std::uint8_t>(c.sign);
    r.Channels[1].TemperatureUnit = static_cast<std::uint8_t>(c.unit);
    const std::string text = c.text;
    EXPECT_EQ(FormatTemperature(r, 1, true), text);
    EXPECT_EQ(FormatTemperature(r, 1, false), text.substr(0, text.find("\u00B0")));
  }
}

}  // namespace
}  // namespace korvane::model
