#include "korvane/logger/run_table.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "korvane/model/date_time.h"
#include "korvane/model/vocabulary.h"

namespace korvane::logger {
namespace {

std::string LocalText(std::int64_t utc_ms) {
  return model::DateTimeText(model::StampFromUnixMs(utc_ms).Local);
}

}  // namespace

std::string RunTableHeader() {
  return "Run\tChannel\tKind\tStart\tEnd\tDuration\tCapacity [Ah]\tEnergy [Wh]\tPeak "
         "temperature\tEnd state\tFrames\n";
}

std::string RunTableLine(const record::RunSummary& run) {
  char energy[64];
  std::snprintf(energy, sizeof energy, "%.3f", run.energy_wh);  // the locale's separator
  std::string line = std::to_string(run.id);
  for (const std::string& field :
       {std::to_string(run.channel), std::string(record::RunKindWord(run.kind)),
        LocalText(run.start_ms), LocalText(run.end_ms), model::OperatingTimeText(run.DurationMs()),
        model::FormatMilli(run.capacity_mah), std::string(energy), PeakTemperatureText(run),
        run.end_text, std::to_string(run.frames)}) {
    line += '\t';
    line += field;
  }
  return line + "\n";
}

std::string PeakTemperatureText(const record::RunSummary& run) {
  model::S_HARDWARE_DATA record;
  model::S_CHANNEL_DATA& ch = record.Channels[0];
  ch.Temperature = static_cast<std::uint16_t>(std::min(std::abs(run.peak_temperature), 65535));
  ch.TemperatureSign = run.peak_temperature < 0 ? 0 : 1;
  ch.TemperatureUnit = static_cast<std::uint8_t>(run.temperature_unit);
  return model::FormatTemperature(record, 0, true);
}

}  // namespace korvane::logger
