// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/model/export_file.h"

#include <array>
#include <stdexcept>

#include "korvane/fileio/atomic_file.h"
#include "korvane/model/date_time.h"
#include "korvane/model/vocabulary.h"

namespace korvane::model {
namespace {

constexpr std::array<const char*, 14> kChannelTitles = {
    "Operation Mode",  "Cycle Number",   "Input Voltage",  "Output Voltage", "Output Current",
    "Output Capacity", "Temperature",    "Cell Voltage 1", "Cell Voltage 2", "Cell Voltage 3",
    "Cell Voltage 4",  "Cell Voltage 5", "Cell Voltage 6", "Cell Voltage 7"};

constexpr const char* kLineEnd = "\r\n";

}  // namespace

std::string ExportHeaderLine() {
  std::string line = "Time";
  for (int n = 1; n <= kChannelCount; ++n) {
    for (const char* title : kChannelTitles) {
      line += '\t';
      line += title;
      line += " (" + std::to_string(n) + ")";
    }
  }
  return line + kLineEnd;
}

std::string ExportLine(const S_HARDWARE_DATA& record) {
  std::string line = DateTimeText(record.Time);
  const auto field = [&line](const std::string& text) {
    line += '\t';
    line += text;
  };
  for (int c = 0; c < kChannelCount; ++c) {
    const S_CHANNEL_DATA& ch = record.Channels[static_cast<std::size_t>(c)];
    field(ModeWithStatusText(record, c));
    field(FormatCycleNumber(record, c));
    field(FormatMilli(ch.InputVoltage));
    field(FormatMilli(ch.OutputVoltage));
    field(FormatMilli(ch.OutputCurrent));
    field(FormatMilli(ch.OutputCapacity));
    field(FormatTemperature(record, c, false));
    for (std::uint16_t cell : ch.CellVoltage) {
      field(FormatMilli(cell));
    }
  }
  return line + kLineEnd;
}

std::string ExportText(const std::vector<S_HARDWARE_DATA>& records) {
  std::string text = ExportHeaderLine();
  text.reserve(text.size() * (records.size() + 1));
  for (const S_HARDWARE_DATA& record : records) {
    text += ExportLine(record);
  }
  return text;
}

void WriteExportFile(const std::string& file_name, const std::vector<S_HARDWARE_DATA>& records) {
  // What a shell redirect could write, the user may choose as the export's target.
  constexpr fileio::AtomicWriteOptions kExportTarget{.write_character_devices = true,
                                                     .write_in_place_without_temporary = true};
  const std::string text = ExportText(records);
  try {
    fileio::WriteFileAtomically(file_name, text, kExportTarget);
  } catch (const std::runtime_error& error) {
    throw std::runtime_error("Cannot write the file \"" + file_name + "\": " + error.what());
  }
}

}  // namespace korvane::model
