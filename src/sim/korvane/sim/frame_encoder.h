// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// The charger's side of the wire format. A frame is 124 ASCII bytes: the start marker 0x0C,
// a 118-character payload of uppercase hex fields, four uppercase hex digits holding the sum of
// the marker and payload bytes, and the end marker 0x0D.
namespace korvane::sim {

inline constexpr char kStartMarker = '\x0C';
inline constexpr char kEndMarker = '\x0D';
inline constexpr std::size_t kPayloadSize = 118;
inline constexpr std::size_t kFrameSize = 124;
inline constexpr std::size_t kCellCount = 7;

// Raw values of one channel block, in the units the charger sends.
struct ChannelState {
  std::uint16_t input_mv = 0;
  std::uint8_t mode = 0;    // operation mode code
  std::uint8_t status = 0;  // operation status code
  std::uint8_t cycle = 0;
  std::uint16_t output_mv = 0;
  std::uint16_t current_ma = 0;
  std::uint16_t capacity_mah = 0;
  std::uint16_t temp_tenths = 0;  // magnitude in tenths of a degree
  std::uint8_t temp_sign = 1;     // 0 = negative
  std::uint8_t temp_unit = 0;     // 1 = Fahrenheit, else Celsius
  std::array<std::uint16_t, kCellCount> cells_mv{};

  bool operator==(const ChannelState&) const = default;
};

struct ChargerRecord {
  std::uint8_t frame_code = 0;
  std::array<ChannelState, 2> channels{};

  bool operator==(const ChargerRecord&) const = default;
};

// Exactly 118 characters: the frame code, then channel 1 and channel 2 blocks in wire order.
std::string EncodePayload(const ChargerRecord& record);

// Four uppercase hex digits of the byte sum of `covered` (marker plus payload), kept to 16 bits.
std::string ChecksumText(std::string_view covered);

// Start marker + payload + checksum + end marker. Accepts any payload length, so that frames of
// a wrong length can be built with a checksum that is right for their content.
std::string FrameFromPayload(std::string_view payload);

// A 124-byte frame for `record`.
std::string EncodeFrame(const ChargerRecord& record);

}  // namespace korvane::sim
