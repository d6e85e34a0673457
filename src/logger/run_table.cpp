#include "korvane/logger/run_table.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <regex>

#include "korvane/model/date_time.h"
#include "korvane/model/vocabulary.h"
#include "korvane/publish/messages.h"

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

std::string RunArrayJson(const std::vector<record::RunSummary>& runs,
                         const std::string& store_identity) {
  if (runs.empty()) {
    return "[]\n";
  }
  std::string text = "[\n";
  for (const record::RunSummary& run : runs) {
    text +=
        publish::RunJson(run, store_identity);  // one object on one line: a dump has no line breaks
    text += &run == &runs.back() ? "\n]\n" : ",\n";
  }
  return text;
}

std::optional<std::int64_t> ParseSince(const std::string& text) {
  // Date, then optionally a time with optional seconds and fraction, then optionally its zone.
  static const std::regex kForm(
      "([0-9]{4})-([0-9]{2})-([0-9]{2})"
      "(?:[T ]([0-9]{2}):([0-9]{2})(?::([0-9]{2})(?:\\.([0-9]{1,9}))?)?"
      "(Z|[+-][0-9]{2}(?::?[0-9]{2})?)?)?");
  std::smatch m;
  if (!std::regex_match(text, m, kForm)) {
    return std::nullopt;
  }
  const auto number = [&m](int i) { return m[i].matched ? std::stoi(m[i].str()) : 0; };
  const int hour = number(4);
  const int minute = number(5);
  const int second = number(6);
  const std::chrono::year_month_day date{std::chrono::year(number(1)),
                                         std::chrono::month(static_cast<unsigned>(number(2))),
                                         std::chrono::day(static_cast<unsigned>(number(3)))};
  if (!date.ok() || hour > 23 || minute > 59 || second > 59) {
    return std::nullopt;
  }
  const std::int64_t ms = m[7].matched ? std::stoi((m[7].str() + "00").substr(0, 3)) : 0;
  const std::string zone = m[8].str();
  if (zone.empty()) {
    std::tm local{};
    local.tm_year = number(1) - 1900;
    local.tm_mon = number(2) - 1;
    local.tm_mday = number(3);
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;  // whichever holds on that day; a time skipped by DST is moved on
    return static_cast<std::int64_t>(std::mktime(&local)) * 1000 + ms;
  }
  std::int64_t offset_min = 0;
  if (zone != "Z") {
    const int hours = std::stoi(zone.substr(1, 2));
    const int minutes = zone.size() > 3 ? std::stoi(zone.substr(zone.size() - 2)) : 0;
    if (hours > 23 || minutes > 59) {
      return std::nullopt;
    }
    offset_min = (zone[0] == '-' ? -1 : 1) * (hours * 60 + minutes);
  }
  const std::int64_t days = std::chrono::sys_days(date).time_since_epoch().count();
  return ((days * 24 + hour) * 60 + minute - offset_min) * 60'000 + second * 1000 + ms;
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
