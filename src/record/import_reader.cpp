// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/record/import_reader.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <istream>
#include <limits>
#include <map>
#include <optional>
#include <string_view>
#include <utility>

#include "korvane/model/date_time.h"
#include "korvane/model/export_file.h"
#include "korvane/model/vocabulary.h"
#include "local_zone.h"

namespace korvane::record {
namespace {

constexpr std::size_t kFieldCount = 1 + model::kChannelCount * (7 + model::kCellCount);
constexpr std::size_t kChannelFieldCount = 7 + model::kCellCount;

std::string FieldCount(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " field" : " fields");
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

// Splits at tabs into `fields`; returns the number of fields found (more than fit are counted).
std::size_t SplitFields(std::string_view line, std::array<std::string_view, kFieldCount>& fields) {
  std::size_t count = 0;
  for (;;) {
    const std::size_t tab = line.find('\t');
    if (count < fields.size()) {
      fields[count] = line.substr(0, tab);
    }
    ++count;
    if (tab == std::string_view::npos) {
      return count;
    }
    line.remove_prefix(tab + 1);
  }
}

const std::array<std::string, kFieldCount>& HeaderTitles() {
  static const std::array<std::string, kFieldCount> titles = [] {
    std::string header = model::ExportHeaderLine();
    header.resize(header.size() - 2);  // CR LF
    std::array<std::string_view, kFieldCount> fields;
    SplitFields(header, fields);
    std::array<std::string, kFieldCount> copy;
    std::copy(fields.begin(), fields.end(), copy.begin());
    return copy;
  }();
  return titles;
}

// Every mode text the export writes, with codes that write it again. Where several codes share a
// text ("Unknown", "Charge (Unknown)") the lowest mode and status win.
const std::map<std::string, std::pair<std::uint8_t, std::uint8_t>, std::less<>>& ModeCodes() {
  static const auto codes = [] {
    std::map<std::string, std::pair<std::uint8_t, std::uint8_t>, std::less<>> map;
    model::S_HARDWARE_DATA record;
    for (int mode = 0; mode <= 8; ++mode) {
      for (int status = 0; status <= std::numeric_limits<std::uint8_t>::max(); ++status) {
        record.Channels[0].OperationMode = static_cast<std::uint8_t>(mode);
        record.Channels[0].OperationStatus = static_cast<std::uint8_t>(status);
        map.emplace(model::ModeWithStatusText(record, 0),
                    std::pair{static_cast<std::uint8_t>(mode), static_cast<std::uint8_t>(status)});
      }
    }
    return map;
  }();
  return codes;
}

// The value of a text of decimal digits only.
std::optional<unsigned> Digits(std::string_view text) {
  if (text.empty()) {
    return std::nullopt;
  }
  unsigned value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value;
}

// Without a superfluous leading zero, as std::to_string writes them.
std::optional<unsigned> ParseWhole(std::string_view text, std::size_t max_digits) {
  if (text.size() > max_digits || (text.size() > 1 && text[0] == '0')) {
    return std::nullopt;
  }
  return Digits(text);
}

// "<whole><separator><decimals digits>" read back into thousandths or tenths.
std::optional<std::uint16_t> ParseFixed(std::string_view text, std::string_view separator,
                                        std::size_t decimals, unsigned scale) {
  const std::size_t at = text.find(separator);
  if (at == std::string_view::npos || text.size() != at + separator.size() + decimals) {
    return std::nullopt;
  }
  const std::optional<unsigned> whole = ParseWhole(text.substr(0, at), 5);
  const std::optional<unsigned> part = Digits(text.substr(at + separator.size()));
  if (!whole || !part || *whole * scale + *part > std::numeric_limits<std::uint16_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(*whole * scale + *part);
}

// Date-time texts back to instants, in order. Frames come many to a second, so the last text is
// kept.
class TimeReader {
 public:
  enum class Fault { kNone, kNotATime, kSkipped, kEarlier };
  struct Result {
    std::int64_t ms = 0;
    Fault fault = Fault::kNone;
  };

  explicit TimeReader(const std::string& zone) : zone_(zone) {}

  // Milliseconds since the epoch, not before the previous text's second.
  Result Read(std::string_view text) {
    if (text == last_text_ && !last_text_.empty()) {
      return {last_ms_};
    }
    const std::string copy(text);
    std::tm fields{};
    const char* end = strptime(copy.c_str(), "%x %X", &fields);
    const bool has_time = end != nullptr && *end == '\0';
    if (!has_time) {
      fields = std::tm{};
      end = strptime(copy.c_str(), "%x", &fields);
      if (end == nullptr || *end != '\0') {
        return {0, Fault::kNotATime};
      }
    }
    const bool at_midnight = fields.tm_hour == 0 && fields.tm_min == 0 && fields.tm_sec == 0;
    const int extra_ms = has_time && at_midnight ? 1 : 0;
    // Only the form the export writes: the same fields must give the same text.
    const model::DateTimeParts parts{.Year = fields.tm_year + 1900,
                                     .Month = fields.tm_mon + 1,
                                     .Day = fields.tm_mday,
                                     .Hour = fields.tm_hour,
                                     .Minute = fields.tm_min,
                                     .Second = fields.tm_sec,
                                     .Millisecond = extra_ms};
    if (model::DateTimeText(model::EncodeDateTime(parts)) != text) {
      return {0, Fault::kNotATime};
    }
    std::tm copy_fields = fields;
    const detail::LocalInstants instants = zone_.Instants(timegm(&copy_fields));
    if (instants.count == 0) {
      return {0, Fault::kSkipped};
    }
    // Of two (the hour the clocks go back) the first not before the previous frame, so a run
    // across the change stays in order.
    std::size_t chosen = 0;
    while (chosen < instants.count && instants.at[chosen] < previous_s_) {
      ++chosen;
    }
    if (chosen == instants.count) {
      return {0, Fault::kEarlier};
    }
    previous_s_ = instants.at[chosen];
    last_text_ = copy;
    last_ms_ = instants.at[chosen] * 1000 + extra_ms;
    return {last_ms_};
  }

  const std::string& LastText() const { return last_text_; }
  std::string ZoneName() const { return zone_.Name(); }

 private:
  detail::LocalZone zone_;
  std::string last_text_;
  std::int64_t last_ms_ = 0;
  std::int64_t previous_s_ = std::numeric_limits<std::int64_t>::min();
};

// One data line back into a record, or ImportError.
class LineReader {
 public:
  explicit LineReader(const ImportOptions& options)
      : separator_(model::DecimalSeparator()), times_(options.timezone) {}

  model::S_HARDWARE_DATA Read(std::int64_t number, std::string_view line) {
    line_ = number;
    const std::size_t count = SplitFields(line, fields_);
    if (count != kFieldCount) {
      throw ImportError(number, FieldCount(count) + ", expected " + std::to_string(kFieldCount) +
                                    " separated by tabs");
    }
    model::S_HARDWARE_DATA record;
    const std::string previous = times_.LastText();
    const TimeReader::Result time = times_.Read(fields_[0]);
    switch (time.fault) {
      case TimeReader::Fault::kNone:
        break;
      case TimeReader::Fault::kNotATime:
        Fail(0, "a date and time as this locale writes them, like " +
                    Quoted(model::DateTimeText(model::CurrentTimeStamp().Local)));
      case TimeReader::Fault::kSkipped:
        Refuse(0, "a time the clocks skip in " + times_.ZoneName() +
                      " (they go forward there); was the file written in another time zone?");
      case TimeReader::Fault::kEarlier:
        Refuse(0, "earlier than line " + std::to_string(previous_line_) + " (" + Quoted(previous) +
                      "): the lines must be in time order");
    }
    previous_line_ = number;
    record.UtcMs = time.ms;
    record.Time = model::StampFromUnixMs(time.ms).Local;
    for (std::size_t c = 0; c < static_cast<std::size_t>(model::kChannelCount); ++c) {
      ReadChannel(1 + c * kChannelFieldCount, record.Channels[c]);
    }
    return record;
  }

 private:
  void ReadChannel(std::size_t first, model::S_CHANNEL_DATA& ch) {
    const auto& modes = ModeCodes();
    const auto mode = modes.find(fields_[first]);
    if (mode == modes.end()) {
      Fail(first, "an operation mode such as \"Charge (CC-CV)\" or \"Not Operation\"");
    }
    ch.OperationMode = mode->second.first;
    ch.OperationStatus = mode->second.second;
    const std::optional<unsigned> cycle = ParseWhole(fields_[first + 1], 3);
    if (!cycle || *cycle > std::numeric_limits<std::uint8_t>::max()) {
      Fail(first + 1, "a whole number from 0 to 255");
    }
    ch.CycleNumber = static_cast<std::uint8_t>(*cycle);
    ch.InputVoltage = Milli(first + 2);
    ch.OutputVoltage = Milli(first + 3);
    ch.OutputCurrent = Milli(first + 4);
    ch.OutputCapacity = Milli(first + 5);
    std::string_view temperature = fields_[first + 6];
    const bool negative = temperature.starts_with('-');
    temperature.remove_prefix(negative ? 1 : 0);
    const std::optional<std::uint16_t> magnitude = ParseFixed(temperature, separator_, 1, 10);
    if (!magnitude || (negative && *magnitude == 0)) {
      model::S_HARDWARE_DATA example;
      example.Channels[0].Temperature = 250;
      example.Channels[0].TemperatureSign = 1;
      Fail(first + 6, "a temperature with one decimal, like " +
                          Quoted(model::FormatTemperature(example, 0, false)));
    }
    ch.Temperature = *magnitude;
    ch.TemperatureSign = negative ? 0 : 1;
    ch.TemperatureUnit = 0;
    for (std::size_t cell = 0; cell < ch.CellVoltage.size(); ++cell) {
      ch.CellVoltage[cell] = Milli(first + 7 + cell);
    }
  }

  std::uint16_t Milli(std::size_t index) {
    const std::optional<std::uint16_t> value = ParseFixed(fields_[index], separator_, 3, 1000);
    if (!value) {
      Fail(index, "a number from " + model::FormatMilli(0) + " to " + model::FormatMilli(65535) +
                      " with three decimals, like " + Quoted(model::FormatMilli(12000)));
    }
    return *value;
  }

  [[noreturn]] void Fail(std::size_t index, const std::string& expected) const {
    Refuse(index, "expected " + expected);
  }

  [[noreturn]] void Refuse(std::size_t index, const std::string& why) const {
    throw ImportError(line_, "field " + std::to_string(index + 1) + " (" + HeaderTitles()[index] +
                                 ") is " + Quoted(fields_[index]) + ", " + why);
  }

  const std::string separator_;
  TimeReader times_;
  std::array<std::string_view, kFieldCount> fields_{};
  std::int64_t line_ = 0;
  std::int64_t previous_line_ = 0;
};

void CheckHeader(std::string_view line) {
  if (line.starts_with("\xEF\xBB\xBF")) {
    line.remove_prefix(3);  // a byte-order mark some editors add
  }
  std::array<std::string_view, kFieldCount> fields;
  const std::size_t count = SplitFields(line, fields);
  if (count != kFieldCount) {
    throw ImportError(1, "not the header of an export file: " + FieldCount(count) + ", expected " +
                             std::to_string(kFieldCount) + " (" + Quoted(HeaderTitles()[0]) + ", " +
                             Quoted(HeaderTitles()[1]) + ", ...)");
  }
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    if (fields[i] != HeaderTitles()[i]) {
      throw ImportError(1, "not the header of an export file: field " + std::to_string(i + 1) +
                               " is " + Quoted(fields[i]) + ", expected " +
                               Quoted(HeaderTitles()[i]));
    }
  }
}

// The next line without its line end; false at the end of the input.
bool NextLine(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) {
    return false;
  }
  if (line.ends_with('\r')) {
    line.pop_back();
  }
  return true;
}

}  // namespace

ImportError::ImportError(std::int64_t line, const std::string& reason)
    : std::runtime_error("line " + std::to_string(line) + ": " + reason), line_(line) {}

void CheckTimeZone(const std::string& name) {
  const detail::LocalZone zone(name);
}

std::vector<model::S_HARDWARE_DATA> ReadExport(std::istream& in, const ImportOptions& options) {
  LineReader reader(options);  // an unknown zone before the first line
  std::string line;
  if (!NextLine(in, line)) {
    if (in.bad()) {
      throw std::runtime_error("the file could not be read");
    }
    throw ImportError(1, "the file is empty; expected the header of an export file");
  }
  CheckHeader(line);
  std::vector<model::S_HARDWARE_DATA> frames;
  std::int64_t number = 1;
  while (NextLine(in, line)) {
    ++number;
    if (!line.empty()) {
      frames.push_back(reader.Read(number, line));
    }
  }
  if (in.bad()) {
    throw std::runtime_error("the file could not be read after line " + std::to_string(number));
  }
  return frames;
}

}  // namespace korvane::record
