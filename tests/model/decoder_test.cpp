#include "korvane/model/decoder.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace korvane::model {
namespace {

using testing::EncodePayload;

// Channel 1 of the worked example; channel 2 and the frame code are all zero digits.
std::string WorkedPayload() {
  std::string block =
      "2EE0"
      "01"
      "04"
      "03"
      "1F40"
      "0BB8"
      "05DC"
      "00FA"
      "01"
      "00";
  for (int i = 0; i < 7; ++i) {
    block += "1004";
  }
  return "00" + block + std::string(58, '0');
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
  ASSERT_EQ(WorkedPayload().size(), kPayloadLength);
  const S_HARDWARE_DATA r = DecodePayload(WorkedPayload());
  const S_CHANNEL_DATA& c = r.Channels[0];
  EXPECT_EQ(c.InputVoltage, 12000);
  EXPECT_EQ(c.OperationMode, 1);
  EXPECT_EQ(c.OperationStatus, 4);
  EXPECT_EQ(c.CycleNumber, 3);
  EXPECT_EQ(c.OutputVoltage, 8000);
  EXPECT_EQ(c.OutputCurrent, 3000);
  EXPECT_EQ(c.OutputCapacity, 1500);
  EXPECT_EQ(c.Temperature, 250);
  EXPECT_EQ(c.TemperatureSign, 1);
  EXPECT_EQ(c.TemperatureUnit, 0);
  for (std::uint16_t cell : c.CellVoltage) {
    EXPECT_EQ(cell, 4100);
  }
  EXPECT_EQ(r.Channels[1].InputVoltage, 0);
  EXPECT_EQ(r.Time, 0.0);
}

TEST(DecodePayload, EveryFieldOfBothChannelsRoundTrips) {
  S_HARDWARE_DATA in;
  in.FrameCode = 0xA5;
  for (std::size_t k = 0; k < 2; ++k) {
    S_CHANNEL_DATA& c = in.Channels[k];
    const auto base = static_cast<std::uint16_t>(k * 0x8000);
    c.InputVoltage = static_cast<std::uint16_t>(base + 1);
    c.OperationMode = static_cast<std::uint8_t>(2 + k);
    c.OperationStatus = static_cast<std::uint8_t>(4 + k);
    c.CycleNumber = static_cast<std::uint8_t>(250 + k);
    c.OutputVoltage = static_cast<std::uint16_t>(base + 2);
    c.OutputCurrent = static_cast<std::uint16_t>(base + 3);
    c.OutputCapacity = static_cast<std::uint16_t>(base + 4);
    c.Temperature = static_cast<std::uint16_t>(base + 5);
    c.TemperatureSign = static_cast<std::uint8_t>(k);
    c.TemperatureUnit = static_cast<std::uint8_t>(1 - k);
    for (std::size_t cell = 0; cell < 7; ++cell) {
      c.CellVoltage[cell] = static_cast<std::uint16_t>(base + 0x100 * (cell + 1));
    }
  }
  const S_HARDWARE_DATA out = DecodePayload(EncodePayload(in));
  EXPECT_EQ(out.FrameCode, in.FrameCode);
  for (std::size_t k = 0; k < 2; ++k) {
    const S_CHANNEL_DATA& a = in.Channels[k];
    const S_CHANNEL_DATA& b = out.Channels[k];
    EXPECT_EQ(b.InputVoltage, a.InputVoltage) << k;
    EXPECT_EQ(b.OperationMode, a.OperationMode) << k;
    EXPECT_EQ(b.OperationStatus, a.OperationStatus) << k;
    EXPECT_EQ(b.CycleNumber, a.CycleNumber) << k;
    EXPECT_EQ(b.OutputVoltage, a.OutputVoltage) << k;
    EXPECT_EQ(b.OutputCurrent, a.OutputCurrent) << k;
    EXPECT_EQ(b.OutputCapacity, a.OutputCapacity) << k;
    EXPECT_EQ(b.Temperature, a.Temperature) << k;
    EXPECT_EQ(b.TemperatureSign, a.TemperatureSign) << k;
    EXPECT_EQ(b.TemperatureUnit, a.TemperatureUnit) << k;
    EXPECT_EQ(b.CellVoltage, a.CellVoltage) << k;
  }
}

TEST(DecodePayload, OddCharactersAndWidths) {
  std::string p(kPayloadLength, '0');
  p.replace(2, 4, "FFFF");   // input voltage 1: unsigned 16 bits
  p.replace(6, 2, "0a");     // mode 1: 0 * 16 + 42
  p.replace(8, 2, "ZZ");     // status 1: 35 * 16 + 35 = 595, low 8 bits 83
  p.replace(60, 4, "aaaa");  // input voltage 2: 42 * 4369 = 183498, low 16 bits 52426
  const S_HARDWARE_DATA r = DecodePayload(p);
  EXPECT_EQ(r.Channels[0].InputVoltage, 65535);
  EXPECT_EQ(r.Channels[0].OperationMode, 42);
  EXPECT_EQ(r.Channels[0].OperationStatus, 83);
  EXPECT_EQ(r.Channels[1].InputVoltage, 52426);
}

TEST(DecodePayload, ShortPayloadKeepsOnlyPresentCharacters) {
  const std::string full = WorkedPayload();
  // Cut inside channel 1's output voltage ("1F40"): only "1F" remains of it.
  const S_HARDWARE_DATA r = DecodePayload(full.substr(0, 14));
  EXPECT_EQ(r.Channels[0].InputVoltage, 12000);
  EXPECT_EQ(r.Channels[0].CycleNumber, 3);
  EXPECT_EQ(r.Channels[0].OutputVoltage, 0x1F);
  EXPECT_EQ(r.Channels[0].OutputCurrent, 0);
  EXPECT_EQ(r.Channels[0].CellVoltage[6], 0);
  EXPECT_EQ(DecodePayload("").Channels[1].CellVoltage[6], 0);
  EXPECT_EQ(DecodePayload("7").FrameCode, 7);
}

}  // namespace
}  // namespace korvane::model
