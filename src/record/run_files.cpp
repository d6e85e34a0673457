#include "korvane/record/run_files.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <istream>
#include <limits>
#include <map>
#include <optional>
#include <ostream>
#include <string_view>
#include <utility>

#include "korvane/model/date_time.h"
#include "korvane/model/export_file.h"
#include "korvane/model/vocabulary.h"
#include "korvane/record/run_tracker.h"

namespace korvane::record {
namespace {

// Frames read from the store per query while exporting.
constexpr std::int64_t kExportSlice = 4096;

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

// Date-time texts back to instants. Frames come many to a second, so the last text is kept.
class TimeReader {
 public:
  // Milliseconds since the epoch, or nothing when `text` is not a date-time text of this locale.
  std::optional<std::int64_t> Read(std::string_view text) {
    if (text == last_text_ && !last_text_.empty()) {
      return last_ms_;
    }
    const std::string copy(text);
    std::tm fields{};
    const char* end = strptime(copy.c_str(), "%x %X", &fields);
    const bool has_time = end != nullptr && *end == '\0';
    if (!has_time) {
      fields = std::tm{};
      end = strptime(copy.c_str(), "%x", &fields);
      if (end == nullptr || *end != '\0') {
        return std::nullopt;
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
      return std::nullopt;
    }
    const std::int64_t ms = Instant(fields) * 1000 + extra_ms;
    last_text_ = copy;
    last_ms_ = ms;
    previous_ms_ = ms;
    return ms;
  }

 private:
  // The local time's instant; of two (the hour the clocks go back) the first not before the
  // previous frame, so a run across the change stays in order. Found from the offsets in force
  // a day before and a day after, as mktime searches at length for a zone without summer time.
  std::int64_t Instant(const std::tm& fields) const {
    std::tm copy = fields;
    const std::int64_t wall = static_cast<std::int64_t>(timegm(&copy));  // read as if UTC
    std::array<std::int64_t, 2> candidates{};
    std::size_t count = 0;
    for (const std::int64_t probe : {wall - kDaySeconds, wall + kDaySeconds}) {
      const std::int64_t t = wall - UtcOffset(probe);
      if ((count == 0 || candidates[0] != t) && t + UtcOffset(t) == wall) {
        candidates[count++] = t;
      }
    }
    if (count == 0) {
      // A local time the clocks skip (written under another time zone): the offset before.
      return wall - UtcOffset(wall - kDaySeconds);
    }
    if (count == 2 && candidates[1] < candidates[0]) {
      std::swap(candidates[0], candidates[1]);
    }
    for (std::size_t i = 0; i < count; ++i) {
      if (candidates[i] * 1000 >= previous_ms_) {
        return candidates[i];
      }
    }
    return candidates[count - 1];
  }

  static std::int64_t UtcOffset(std::int64_t t) {
    const auto time = static_cast<std::time_t>(t);
    std::tm local{};
    localtime_r(&time, &local);
    return local.tm_gmtoff;
  }

  static constexpr std::int64_t kDaySeconds = 86'400;

  std::string last_text_;
  std::int64_t last_ms_ = 0;
  std::int64_t previous_ms_ = std::numeric_limits<std::int64_t>::min();
};

// One data line back into a record, or ImportError.
class LineReader {
 public:
  LineReader() : separator_(model::DecimalSeparator()) {}

  model::S_HARDWARE_DATA Read(std::int64_t number, std::string_view line) {
    line_ = number;
    const std::size_t count = SplitFields(line, fields_);
    if (count != kFieldCount) {
      throw ImportError(number, FieldCount(count) + ", expected " + std::to_string(kFieldCount) +
                                    " separated by tabs");
    }
    model::S_HARDWARE_DATA record;
    const std::optional<std::int64_t> ms = times_.Read(fields_[0]);
    if (!ms) {
      Fail(0, "a date and time as this locale writes them, like " +
                  Quoted(model::DateTimeText(model::CurrentTimeStamp().Local)));
    }
    record.UtcMs = *ms;
    record.Time = model::StampFromUnixMs(*ms).Local;
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
    throw ImportError(line_, "field " + std::to_string(index + 1) + " (" + HeaderTitles()[index] +
                                 ") is " + Quoted(fields_[index]) + ", expected " + expected);
  }

  const std::string separator_;
  TimeReader times_;
  std::array<std::string_view, kFieldCount> fields_{};
  std::int64_t line_ = 0;
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

// A run's frames are the ids from its first to its last frame, so imported frames must not land
// inside a run that a recorder is still writing. Checked with the write lock held: no run can
// begin meanwhile. A run left in progress by a crash no longer counts once it is silent.
void RefuseWhileRecording(const Store& store) {
  constexpr std::int64_t kLiveMs = RunTracker::kSilenceEndMs + 10'000;
  const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
  for (const RunSummary& run : store.Runs()) {
    if (run.end_state == EndState::kInProgress && now - run.end_ms < kLiveMs) {
      throw std::runtime_error(store.Path() + " is being recorded into (run " +
                               std::to_string(run.id) +
                               " is in progress): import when the recording has stopped, or into "
                               "another store");
    }
  }
}

}  // namespace

ImportError::ImportError(std::int64_t line, const std::string& reason)
    : std::runtime_error("line " + std::to_string(line) + ": " + reason), line_(line) {}

void ExportFrames(const Store& store, std::int64_t first, std::int64_t last, std::ostream& out) {
  out << model::ExportHeaderLine();
  for (std::int64_t from = first; from <= last;) {
    const std::int64_t to = last - from < kExportSlice ? last : from + kExportSlice - 1;
    for (const StoredFrame& frame : store.Frames(from, to)) {
      out << model::ExportLine(frame.record);
    }
    if (!out) {
      throw std::runtime_error("the export could not be written");
    }
    if (to == last) {
      break;
    }
    from = to + 1;
  }
  out.flush();
  if (!out) {
    throw std::runtime_error("the export could not be written");
  }
}

void ExportRun(const Store& store, std::int64_t run_id, std::ostream& out) {
  const std::optional<RunSummary> run = store.Run(run_id);
  if (!run) {
    throw std::runtime_error("there is no run " + std::to_string(run_id) + " in " + store.Path());
  }
  ExportFrames(store, run->first_frame, run->last_frame, out);
}

ImportResult ImportStream(Store& store, std::istream& in, const ImportOptions& /*options*/) {
  std::string line;
  if (!NextLine(in, line)) {
    throw ImportError(1, "the file is empty; expected the header of an export file");
  }
  CheckHeader(line);

  LineReader reader;
  RunTracker tracker;
  ImportResult result;
  std::unique_ptr<Store::Batch> batch = store.Begin();
  RefuseWhileRecording(store);
  // A run is written when it begins (for its id) and when it ends; the updates between are
  // left to the end, so the import writes each run twice, not once per frame.
  const auto keep = [&](std::vector<RunSummary> runs) {
    for (RunSummary& run : runs) {
      const bool ended = run.end_state != EndState::kInProgress;
      if (run.id == 0 || ended) {
        batch->PutRun(run);
      }
      if (!ended) {
        tracker.SetId(run.channel - 1, run.id);
      } else {
        result.runs.push_back(std::move(run));
      }
    }
  };
  std::int64_t number = 1;
  while (NextLine(in, line)) {
    ++number;
    if (line.empty()) {
      continue;
    }
    const model::S_HARDWARE_DATA record = reader.Read(number, line);
    const std::int64_t id = batch->AddFrame(record);
    keep(tracker.Add(id, record));
    ++result.frames;
  }
  if (in.bad()) {
    throw std::runtime_error("the file could not be read after line " + std::to_string(number));
  }
  keep(tracker.StopAll());
  batch->Commit();
  return result;
}

ImportResult ImportFile(Store& store, const std::string& path, const ImportOptions& options) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
  }
  return ImportStream(store, in, options);
}

}  // namespace korvane::record
