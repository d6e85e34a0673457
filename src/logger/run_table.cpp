// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/logger/run_table.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "korvane/model/date_time.h"
#include "korvane/model/vocabulary.h"

namespace korvane::logger {

std::string LocalTimeText(std::int64_t utc_ms) {
  return model::DateTimeText(model::StampFromUnixMs(utc_ms).Local);
}

std::string FieldText(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  return text;
}

std::string RunTableHeader() {
  return "Run\tChannel\tKind\tStart\tEnd\tDuration\tCapacity [Ah]\tEnergy [Wh]\tPeak "
         "temperature\tEnd state\tFrames\tPack\tIR [mOhm]\n";
}

std::string RunTableLine(const record::RunSummary& run) {
  char energy[64];
  std::snprintf(energy, sizeof energy, "%.3f", run.energy_wh);  // the locale's separator
  char ir[64] = "";
  if (run.ir_mohm) {
    std::snprintf(ir, sizeof ir, "%.1f", *run.ir_mohm);
  }
  std::string line = std::to_string(run.id);
  for (const std::string& field :
       {std::to_string(run.channel), std::string(record::RunKindWord(run.kind)),
        LocalTimeText(run.start_ms), LocalTimeText(run.end_ms),
        model::OperatingTimeText(run.DurationMs()), model::FormatMilli(run.capacity_mah),
        std::string(energy), PeakTemperatureText(run), run.end_text, std::to_string(run.frames),
        FieldText(run.pack_name), std::string(ir)}) {
    line += '\t';
    line += field;
  }
  return line + "\n";
}

std::optional<std::int64_t> ParseSince(const std::string& text) {
  // Date, then optionally a time with optional seconds and fraction, then optionally its zone.
  // Read by hand: std::regex trips g++ 12's false uninitialised warnings under the sanitizers.
  std::size_t at = 0;
  // The value of `count` digits at `at`, moving past them; -1 when they are not there.
  const auto digits = [&](std::size_t count) {
    if (text.size() < at + count) {
      return -1;
    }
    int value = 0;
    for (std::size_t i = 0; i < count; ++i, ++at) {
      if (text[at] < '0' || text[at] > '9') {
        return -1;
      }
      value = value * 10 + (text[at] - '0');
    }
    return value;
  };
  const auto take = [&](char c) {
    const bool found = at < text.size() && text[at] == c;
    at += found ? 1 : 0;
    return found;
  };
  const int year = digits(4);
  const int month = take('-') ? digits(2) : -1;
  const int day = take('-') ? digits(2) : -1;
  if (year < 0 || month < 0 || day < 0) {
    return std::nullopt;
  }
  int hour = 0;
  int minute = 0;
  int second = 0;
  std::int64_t ms = 0;
  std::string zone;
  if (at < text.size()) {
    hour = take('T') || take(' ') ? digits(2) : -1;
    minute = hour >= 0 && take(':') ? digits(2) : -1;
    const bool has_seconds = take(':');
    second = has_seconds ? digits(2) : 0;
    if (minute < 0 || second < 0) {
      return std::nullopt;
    }
    if (has_seconds && take('.')) {
      const std::size_t from = at;
      while (at < text.size() && at - from < 9 && text[at] >= '0' && text[at] <= '9') {
        ++at;
      }
      if (at == from) {
        return std::nullopt;
      }
      ms = std::stoi((text.substr(from, at - from) + "00").substr(0, 3));
    }
    zone = text.substr(at);
    const bool offset =
        zone.size() >= 3 && (zone[0] == '+' || zone[0] == '-') &&
        (zone.size() == 3 || zone.size() == 5 || (zone.size() == 6 && zone[3] == ':'));
    if (!zone.empty() && zone != "Z" && !offset) {
      return std::nullopt;
    }
    if (offset && !std::all_of(zone.begin() + 1, zone.end(),
                               [](char c) { return c == ':' || (c >= '0' && c <= '9'); })) {
      return std::nullopt;
    }
  }
  const std::chrono::year_month_day date{std::chrono::year(year),
                                         std::chrono::month(static_cast<unsigned>(month)),
                                         std::chrono::day(static_cast<unsigned>(day))};
  if (!date.ok() || hour > 23 || minute > 59 || second > 59) {
    return std::nullopt;
  }
  if (zone.empty()) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
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
