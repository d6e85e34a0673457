#include "korvane/sim/frame_encoder.h"

#include <gtest/gtest.h>

#include <string>

namespace korvane::sim {
namespace {

ChannelState Sample() {
  ChannelState ch;
  ch.input_mv = 12000;
  ch.mode = 1;
  ch.status = 4;
  ch.cycle = 3;
  ch.output_mv = 8000;
  ch.current_ma = 3000;
  ch.capacity_mah = 1500;
  ch.temp_tenths = 250;
  ch.temp_sign = 1;
  ch.temp_unit = 0;
  ch.cells_mv.fill(4100);
  return ch;
}

TEST(FrameEncoder, ChannelOneBlockHoldsFieldsInWireOrder) {
  ChargerRecord record;
  record.channels[0] = Sample();
  const std::string payload = EncodePayload(record);
  ASSERT_EQ(payload.size(), 118u);

  // 2EE0 01 04 03 1F40 0BB8 05DC 00FA 01 00, then 1004 for each of the seven cells.
  EXPECT_EQ(payload.substr(2, 58), "2EE00104031F400BB805DC00FA0100" + std::string("1004") + "1004" +
                                       "1004" + "1004" + "1004" + "1004" + "1004");
  // Frame code, then channel 2 untouched: zeros except its sign flag.
  EXPECT_EQ(payload.substr(0, 2), "00");
  EXPECT_EQ(payload.substr(60), std::string(26, '0') + "01" + std::string(30, '0'));
}

// One field at a time at its maximum, on each channel: exactly its characters turn to F.
TEST(FrameEncoder, EachFieldAtMaximumLandsInItsOwnCharacters) {
  struct Field {
    const char* name;
    std::size_t offset;  // within the channel block
    std::size_t width;
    void (*set)(ChannelState&);
  };
  const Field fields[] = {
      {"input", 0, 4, [](ChannelState& c) { c.input_mv = 0xFFFF; }},
      {"mode", 4, 2, [](ChannelState& c) { c.mode = 0xFF; }},
      {"status", 6, 2, [](ChannelState& c) { c.status = 0xFF; }},
      {"cycle", 8, 2, [](ChannelState& c) { c.cycle = 0xFF; }},
      {"output", 10, 4, [](ChannelState& c) { c.output_mv = 0xFFFF; }},
      {"current", 14, 4, [](ChannelState& c) { c.current_ma = 0xFFFF; }},
      {"capacity", 18, 4, [](ChannelState& c) { c.capacity_mah = 0xFFFF; }},
      {"temperature", 22, 4, [](ChannelState& c) { c.temp_tenths = 0xFFFF; }},
      {"sign", 26, 2, [](ChannelState& c) { c.temp_sign = 0xFF; }},
      {"unit", 28, 2, [](ChannelState& c) { c.temp_unit = 0xFF; }},
      {"cell 1", 30, 4, [](ChannelState& c) { c.cells_mv[0] = 0xFFFF; }},
      {"cell 4", 42, 4, [](ChannelState& c) { c.cells_mv[3] = 0xFFFF; }},
      {"cell 7", 54, 4, [](ChannelState& c) { c.cells_mv[6] = 0xFFFF; }},
  };
  ChannelState zero;
  zero.temp_sign = 0;
  for (std::size_t k = 0; k < 2; ++k) {
    for (const Field& f : fields) {
      ChargerRecord record;
      record.channels = {zero, zero};
      f.set(record.channels[k]);
      std::string expected(118, '0');
      expected.replace(2 + 58 * k + f.offset, f.width, std::string(f.width, 'F'));
      EXPECT_EQ(EncodePayload(record), expected) << f.name << " on channel " << k + 1;
    }
  }
  ChargerRecord code;
  code.channels = {zero, zero};
  code.frame_code = 0xAB;
  EXPECT_EQ(EncodePayload(code), "AB" + std::string(116, '0'));
}

// Checksums worked out by hand: 0x0C plus the payload characters.
TEST(FrameEncoder, FramesCarryMarkersAndHandComputedChecksums) {
  ChargerRecord zeros;  // both sign flags 1: 116 x '0' + 2 x '1' + 0x0C = 5678 = 0x162E
  const std::string frame = EncodeFrame(zeros);
  ASSERT_EQ(frame.size(), 124u);
  EXPECT_EQ(frame.front(), '\x0C');
  EXPECT_EQ(frame.back(), '\x0D');
  EXPECT_EQ(frame.substr(1, 118), EncodePayload(zeros));
  EXPECT_EQ(frame.substr(119, 4), "162E");

  ChargerRecord max;
  max.frame_code = 0xFF;
  for (ChannelState& ch : max.channels) {
    ch = ChannelState{0xFFFF, 0xFF, 0xFF, 0xFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFF, 0xFF, {}};
    ch.cells_mv.fill(0xFFFF);
  }
  // 118 x 'F' (70) + 12 = 8272 = 0x2050
  EXPECT_EQ(EncodeFrame(max), "\x0C" + std::string(118, 'F') + "2050\x0D");

  // Short sums keep four digits; letters are uppercase.
  EXPECT_EQ(FrameFromPayload(""), std::string("\x0C"
                                              "000C"
                                              "\x0D"));
  EXPECT_EQ(ChecksumText("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"), "0AF5");

  // Payloads of a wrong length still get the checksum of their content: 12 + 117 x 48 = 0x15FC.
  EXPECT_EQ(FrameFromPayload(std::string(117, '0')), "\x0C" + std::string(117, '0') + "15FC\x0D");
}

}  // namespace
}  // namespace korvane::sim
