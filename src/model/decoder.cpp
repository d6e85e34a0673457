// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/model/decoder.h"

#include <cstdint>

namespace korvane::model {
namespace {

constexpr std::size_t kChannelBlockStart = 2;  // 0-based position of channel 1's block
constexpr std::size_t kChannelBlockLength = 58;

// The characters of the field at 0-based `pos` with `len` characters, clipped to the payload.
int Field(std::string_view payload, std::size_t pos, std::size_t len) {
  if (pos >= payload.size()) {
    return 0;
  }
  return HexToInt(payload.substr(pos, len));
}

std::uint16_t Field16(std::string_view payload, std::size_t pos) {
  return static_cast<std::uint16_t>(Field(payload, pos, 4));
}

std::uint8_t Field8(std::string_view payload, std::size_t pos) {
  return static_cast<std::uint8_t>(Field(payload, pos, 2));
}

}  // namespace

int HexToInt(std::string_view text) {
  // Unsigned arithmetic wraps instead of overflowing; callers keep the low 8 or 16 bits anyway.
  unsigned value = 0;
  for (char c : text) {
    const int code = static_cast<std::int8_t>(c);
    const int digit = code > '9' ? code - 55 : code - 48;
    value = value * 16U + static_cast<unsigned>(digit);
  }
  return static_cast<int>(value);
}

S_HARDWARE_DATA DecodePayload(std::string_view payload) {
  S_HARDWARE_DATA record;
  record.FrameCode = Field8(payload, 0);
  for (int k = 0; k < kChannelCount; ++k) {
    const std::size_t b = kChannelBlockStart + kChannelBlockLength * static_cast<std::size_t>(k);
    S_CHANNEL_DATA& ch = record.Channels[static_cast<std::size_t>(k)];
    ch.InputVoltage = Field16(payload, b + 0);
    ch.OperationMode = Field8(payload, b + 4);
    ch.OperationStatus = Field8(payload, b + 6);
    ch.CycleNumber = Field8(payload, b + 8);
    ch.OutputVoltage = Field16(payload, b + 10);
    ch.OutputCurrent = Field16(payload, b + 14);
    ch.OutputCapacity = Field16(payload, b + 18);
    ch.Temperature = Field16(payload, b + 22);
    ch.TemperatureSign = Field8(payload, b + 26);
    ch.TemperatureUnit = Field8(payload, b + 28);
    for (std::size_t cell = 0; cell < kCellCount; ++cell) {
      ch.CellVoltage[cell] = Field16(payload, b + 30 + 4 * cell);
    }
  }
  return record;
}

}  // namespace korvane::model
