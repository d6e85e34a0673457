// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/sim/frame_encoder.h"

#include <gtest/gtest.h>

#include <string>

namespace korvane::sim {
namespace {

// Every field of both channels holds a different value, so a field in the wrong place, of the
// wrong width or from the wrong channel shows. Checksum: 0x0C plus the 118 payload characters.
TEST(FrameEncoder, BothChannelsInWireOrderWithHandComputedChecksum) {
  ChargerRecord record;
  record.frame_code = 0xAB;
  record.channels[0] = {
      12000, 1, 4, 3, 8000, 3000, 1500, 250, 1, 0, {4101, 4102, 4103, 4104, 4105, 4106, 4107}};
  record.channels[1] = {11950, 2, 0, 1, 7400, 1000, 42, 55, 0, 1, {3701, 3702}};
  // Frame code; per channel input, mode, status, cycle, output, current, capacity, temperature,
  // sign, unit, seven cells; checksum.
  std::string body =
      "AB 2EE0 01 04 03 1F40 0BB8 05DC 00FA 01 00 1005 1006 1007 1008 1009 100A 100B"
      " 2EAE 02 00 01 1CE8 03E8 002A 0037 00 01 0E75 0E76 0000 0000 0000 0000 0000 185D";
  std::erase(body, ' ');
  EXPECT_EQ(EncodeFrame(record), "\x0C" + body + "\x0D");
}

TEST(FrameEncoder, FieldsAndChecksumsKeepTheirWidth) {
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
