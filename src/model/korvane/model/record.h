// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>

namespace korvane::model {

inline constexpr int kChannelCount = 2;
inline constexpr int kCellCount = 7;

// One channel block of a frame, raw as the charger sends it: millivolt, milliampere,
// milliampere-hour, tenths of a degree, codes.
struct S_CHANNEL_DATA {
  std::uint16_t InputVoltage = 0;
  std::uint8_t OperationMode = 0;
  std::uint8_t OperationStatus = 0;
  std::uint8_t CycleNumber = 0;
  std::uint16_t OutputVoltage = 0;
  std::uint16_t OutputCurrent = 0;
  std::uint16_t OutputCapacity = 0;
  std::uint16_t Temperature = 0;     // magnitude
  std::uint8_t TemperatureSign = 0;  // 0 = negative, anything else = positive
  std::uint8_t TemperatureUnit = 0;  // 1 = Fahrenheit, anything else = Celsius
  std::array<std::uint16_t, kCellCount> CellVoltage{};
};

// One decoded frame. Filled once by the decoder, never modified afterwards.
struct S_HARDWARE_DATA {
  std::uint8_t FrameCode = 0;
  // Local wall-clock time of the decode: days since 30 December 1899, time of day as fraction.
  double Time = 0.0;
  std::array<S_CHANNEL_DATA, kChannelCount> Channels{};
  // The same instant as milliseconds since the Unix epoch (UTC); durations are taken from it so
  // that daylight-saving changes and clock zones do not distort them.
  std::int64_t UtcMs = 0;
};

}  // namespace korvane::model
