// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/model/vocabulary.h"

#include <langinfo.h>

#include <array>
#include <span>

namespace korvane::model {
namespace {

constexpr const char* kUnknown = "Unknown";

constexpr std::array<const char*, 5> kChargeStatus = {"AUTO", "NORMAL", "LINEAR", "REFLEX",
                                                      "CC-CV"};
constexpr std::array<const char*, 3> kDischargeStatus = {"AUTO", "NORMAL", "LINEAR"};
constexpr std::array<const char*, 9> kFinishStatus = {"DELTA-PEAK", "ZERO-PEAK", "CC-CV",
                                                      "CUTOFF DIS", "TEMP END",  "MAX CAP",
                                                      "FLAT END",   "TIME END",  "TCS END"};
constexpr std::array<const char*, 16> kErrorStatus = {
    "INPUT VOLT",    "NO BATT",        "POLARITY",        "OPEN CIRCUIT",
    "CIRCUIT",       "BATT VOLT LOW",  "BATT VOLT HIGH",  "TEMP SENS",
    "BATT TEMP LOW", "BATT TEMP HIGH", "INT TEMP SENSOR", "I2C INT",
    "BAL VOLT HIGH", "BAL VOLT LOW",   "BAL CONN",        "BAL MODE"};

const char* Lookup(std::span<const char* const> table, std::uint8_t code) {
  return code < table.size() ? table[code] : kUnknown;
}

// Whole units, the separator, then `decimals` digits of `raw` / 10^decimals.
std::string FixedPoint(unsigned raw, unsigned scale, int decimals) {
  std::string fraction = std::to_string(raw % scale);
  fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
  return std::to_string(raw / scale) + DecimalSeparator() + fraction;
}

const S_CHANNEL_DATA& Channel(const S_HARDWARE_DATA& record, int channel) {
  return record.Channels[static_cast<std::size_t>(channel)];
}

}  // namespace

std::string GetModeText(const S_HARDWARE_DATA& record, int channel, std::string& status) {
  const S_CHANNEL_DATA& ch = Channel(record, channel);
  switch (ch.OperationMode) {
    case 0:
      return "Not Operation";
    case 1:
      status = Lookup(kChargeStatus, ch.OperationStatus);
      return "Charge";
    case 2:
      status = Lookup(kDischargeStatus, ch.OperationStatus);
      return "Discharge";
    case 3:
      status = "DISCH - CHRG";
      return "Delay Time";
    case 4:
      status = "TOO HOT";
      return "Pause Time";
    case 5:
      status = Lookup(kFinishStatus, ch.OperationStatus);
      return "Current mode finished";
    case 6:
      status = Lookup(kErrorStatus, ch.OperationStatus);
      return "Error";
    case 8:
      return "Store";
    default:
      return kUnknown;
  }
}

std::string ModeWithStatusText(const S_HARDWARE_DATA& record, int channel) {
  std::string status;
  std::string text = GetModeText(record, channel, status);
  if (!status.empty()) {
    text += " (" + status + ")";
  }
  return text;
}

std::string FormatMilli(std::uint16_t raw) {
  return FixedPoint(raw, 1000, 3);
}

std::string FormatTemperature(const S_HARDWARE_DATA& record, int channel, bool with_unit) {
  const S_CHANNEL_DATA& ch = Channel(record, channel);
  std::string text = FixedPoint(ch.Temperature, 10, 1);
  if (ch.TemperatureSign == 0 && ch.Temperature != 0) {
    text.insert(0, "-");
  }
  if (with_unit) {
    text += "\u00B0";
    text += ch.TemperatureUnit == 1 ? "F" : "C";
  }
  return text;
}

std::string FormatCycleNumber(const S_HARDWARE_DATA& record, int channel) {
  return std::to_string(Channel(record, channel).CycleNumber);
}

std::string DecimalSeparator() {
  // nl_langinfo reads the global locale without writing shared buffers, unlike localeconv.
  const char* radix = nl_langinfo(RADIXCHAR);
  return radix != nullptr && *radix != '\0' ? std::string(radix) : std::string(".");
}

}  // namespace korvane::model
