// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/record/run_files.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <clocale>
#include <ctime>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "korvane/fileio/unique_fd.h"
#include "korvane/model/date_time.h"
#include "korvane/model/export_file.h"
#include "korvane/record/recorder.h"
#include "korvane/record/run_tracker.h"
#include "korvane/test_support/temp_dir.h"

namespace korvane::record {
namespace {

using test_support::TempDir;

// A locale and a time zone with daylight saving for one scope. Set before any thread starts.
struct ScopedLocaleAndZone {
  explicit ScopedLocaleAndZone(const char* locale, const char* zone = "CET-1CEST,M3.5.0,M10.5.0/3")
      : ok(std::setlocale(LC_ALL, locale)) {
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedLocaleAndZone() {
    std::setlocale(LC_ALL, "C");
    unsetenv("TZ");
    tzset();
  }
  bool ok;
};

// 27 October 2024, 00:00:00 CEST; the clocks go back from 03:00 CEST to 02:00 CET that night.
constexpr std::int64_t kLocalMidnightUtcMs = 1'729'980'000'000;
constexpr std::int64_t kClocksBackUtcMs = 1'729'990'800'000;

model::S_HARDWARE_DATA Frame(std::int64_t utc_ms) {
  model::S_HARDWARE_DATA r;
  r.UtcMs = utc_ms;
  r.FrameCode = 0x42;
  for (model::S_CHANNEL_DATA& ch : r.Channels) {
    ch.InputVoltage = 15000;
    ch.TemperatureSign = 1;
    ch.Temperature = 221;
  }
  return r;
}

// Channel 1 charges across local midnight through every kind of in-run frame and finishes;
// three hours later channel 2 discharges across the hour the clocks go back, below freezing,
// until recording stops.
std::vector<model::S_HARDWARE_DATA> Session() {
  std::vector<model::S_HARDWARE_DATA> frames;
  // One frame lands on midnight exactly (written without a time), the next 700 ms after it.
  for (int i = 0; i < 40; ++i) {
    model::S_HARDWARE_DATA r = Frame(kLocalMidnightUtcMs - 2100 + i * 700);
    model::S_CHANNEL_DATA& ch = r.Channels[0];
    const std::uint8_t modes[] = {1, 1, 4, 3, 1, 7, 200, 8, 1, 1};
    ch.OperationMode = i == 39 ? 5 : modes[i % 10];
    ch.OperationStatus = static_cast<std::uint8_t>(i == 39 ? 11 : i % 7);  // 5, 6: "Unknown"
    ch.CycleNumber = static_cast<std::uint8_t>(250 + i % 6);
    ch.OutputVoltage = static_cast<std::uint16_t>(11000 + 37 * i);
    ch.OutputCurrent = static_cast<std::uint16_t>(2000 - 9 * i);
    ch.OutputCapacity = static_cast<std::uint16_t>(13 * i);
    ch.Temperature = static_cast<std::uint16_t>(i % 3 == 0 ? 0 : 250 + i);
    ch.TemperatureSign = static_cast<std::uint8_t>(i % 2);  // a zero magnitude with sign 0 too
    ch.TemperatureUnit = 1;
    for (std::size_t cell = 0; cell < ch.CellVoltage.size(); ++cell) {
      ch.CellVoltage[cell] = cell == 6 ? 65535 : static_cast<std::uint16_t>(3700 + i + cell);
    }
    frames.push_back(r);
  }
  for (std::int64_t ms = kClocksBackUtcMs - 90'000; ms < kClocksBackUtcMs + 90'000; ms += 700) {
    model::S_HARDWARE_DATA r = Frame(ms);
    r.Channels[0].OperationMode = 5;
    r.Channels[0].OperationStatus = 2;
    model::S_CHANNEL_DATA& ch = r.Channels[1];
    ch.OperationMode = 2;
    ch.OperationStatus = static_cast<std::uint8_t>(ms / 700 % 5);  // 3, 4: "Unknown"
    ch.OutputVoltage = static_cast<std::uint16_t>(12600 - (ms / 700) % 600);
    ch.OutputCurrent = 1000;
    ch.Temperature = 55;
    ch.TemperatureSign = 0;
    frames.push_back(r);
  }
  return frames;
}

std::string Export(const Store& store, std::int64_t run_id) {
  std::ostringstream out;
  ExportRun(store, run_id, out);
  return out.str();
}

ImportResult Import(Store& store, const std::string& text) {
  std::istringstream in(text);
  return ImportStream(store, in);
}

TEST(RunFiles, ExportedRunsImportIntoAFreshStoreAndExportTheSameBytes) {
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    SCOPED_TRACE(locale);
    ScopedLocaleAndZone scope(locale);
    ASSERT_TRUE(scope.ok) << "locale missing: run `make deps`";
    TempDir dir;
    const std::vector<model::S_HARDWARE_DATA> session = Session();
    {
      Recorder::Options options;
      options.path = dir / "recorded.sqlite";
      options.now_ms = [&] { return session.back().UtcMs; };
      Recorder recorder(std::move(options));
      for (model::S_HARDWARE_DATA record : session) {
        record.Time = model::StampFromUnixMs(record.UtcMs).Local;
        recorder.Record(record);
      }
      recorder.Stop();
    }
    Store recorded(dir / "recorded.sqlite");
    const std::vector<RunSummary> runs = recorded.Runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].end_text, "Finished: Unknown");
    EXPECT_EQ(runs[1].frames, 258);

    Store fresh(dir / "fresh.sqlite");
    for (const RunSummary& run : runs) {
      const std::string text = Export(recorded, run.id);
      // Exactly what Export Data writes for the same frames.
      const std::vector<StoredFrame> stored = recorded.Frames(run.first_frame, run.last_frame);
      std::vector<model::S_HARDWARE_DATA> records;
      for (const StoredFrame& frame : stored) {
        records.push_back(frame.record);
      }
      EXPECT_EQ(text, model::ExportText(records));

      const ImportResult imported = Import(fresh, text);
      EXPECT_EQ(imported.frames, static_cast<std::int64_t>(stored.size()));
      ASSERT_EQ(imported.runs.size(), 1u);
      const RunSummary& copy = imported.runs[0];
      EXPECT_EQ(copy.channel, run.channel);
      EXPECT_EQ(copy.frames, run.frames);
      // Seconds only in the file; across the clock change the run keeps its real length.
      EXPECT_NEAR(static_cast<double>(copy.DurationMs()), static_cast<double>(run.DurationMs()),
                  1000.0);
      EXPECT_EQ(Export(fresh, copy.id), text);
    }
    EXPECT_EQ(fresh.Runs().size(), 2u);
  }
}

TEST(RunFiles, ABrokenLineIsReportedByNumberAndNothingIsImported) {
  TempDir dir;
  Store store(dir / "store.sqlite");
  std::vector<model::S_HARDWARE_DATA> frames;
  for (int i = 0; i < 4; ++i) {
    model::S_HARDWARE_DATA r = Frame(1'700'000'000'000 + i * 1000);
    r.Channels[0].OperationMode = 1;
    r.Time = model::StampFromUnixMs(r.UtcMs).Local;
    frames.push_back(r);
  }
  const std::string good = model::ExportText(frames);
  const std::string good_line = model::ExportLine(frames.back());
  // Replaces the first occurrence of `from` in a good data line; appended as line 6.
  const auto with_broken_line = [&](const std::string& from, const std::string& to) {
    std::string line = good_line;
    line.replace(line.find(from), from.size(), to);
    return good + line;
  };
  struct Case {
    std::string text;
    std::int64_t line;
    std::string says;
  };
  const Case cases[] = {
      {"", 1, "the file is empty"},
      {"Time\tMode (1)\r\n" + good.substr(good.find('\n') + 1), 1, "29"},
      {"\xEF\xBB\xBFTime" + good.substr(4, good.find('\n') - 4).replace(5, 1, "o") + "\n", 1,
       "field 2 is \"Operotion Mode (1)\""},
      {good + "\r\n" + good_line.substr(0, good_line.rfind('\t')) + "\r\n", 7, "28 fields"},
      {with_broken_line("\t15.000\t", "\t15.0\t"), 6, "field 4 (Input Voltage (1)) is \"15.0\""},
      {with_broken_line("\t15.000\t", "\t65.536\t"), 6, "field 4 (Input Voltage (1))"},
      {with_broken_line("\t15.000\t", "\t015.000\t"), 6, "field 4"},
      {with_broken_line("\t15.000\t", "\t15,000\t"), 6, "like \"12.000\""},
      {with_broken_line("Charge (AUTO)", "Charging"), 6, "field 2 (Operation Mode (1))"},
      {with_broken_line("\t22.1\t", "\t-0.0\t"), 6, "field 8 (Temperature (1))"},
      {with_broken_line("\t0\t", "\t256\t"), 6, "field 3 (Cycle Number (1))"},
      {with_broken_line(good_line.substr(0, good_line.find('\t')), "31/12/23 10:00:00"), 6,
       "field 1 (Time)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 400));
    try {
      Import(store, c.text);
      ADD_FAILURE() << "imported";
    } catch (const ImportError& error) {
      EXPECT_EQ(error.Line(), c.line);
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
      EXPECT_EQ(std::string(error.what()).rfind("line " + std::to_string(c.line) + ": ", 0), 0u);
    }
    EXPECT_EQ(store.FrameCount(), 0);
    EXPECT_TRUE(store.Runs().empty());
  }
  // Blank lines and LF-only line ends are read; the store takes the next import.
  std::string lf_only = good + "\n";
  for (std::size_t at = lf_only.find('\r'); at != std::string::npos; at = lf_only.find('\r')) {
    lf_only.erase(at, 1);
  }
  EXPECT_EQ(Import(store, lf_only).frames, 4);
  EXPECT_EQ(store.FrameCount(), 4);
  ASSERT_EQ(store.Runs().size(), 1u);
  EXPECT_EQ(store.Runs()[0].end_text, "Interrupted");
  EXPECT_EQ(Export(store, store.Runs()[0].id), good);
}

TEST(RunFiles, ARecorderWithARunInProgressRefusesTheImportAndNoRecorderLetsItCloseCrashedRuns) {
  TempDir dir;
  Store store(dir / "store.sqlite");
  model::S_HARDWARE_DATA frame = Frame(1'700'000'000'000);
  frame.Time = model::StampFromUnixMs(frame.UtcMs).Local;
  RunSummary crashed;  // in progress, silent for days: no age makes it stale
  std::unique_ptr<Store::Batch> batch = store.Begin();
  batch->PutRun(crashed);
  batch->Commit();
  {
    const fileio::UniqueFd recorder = LockBesideStore(RecorderLockName(store.Path()), "held");
    try {
      Import(store, model::ExportText({frame}));
      ADD_FAILURE() << "imported";
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(std::string(error.what()),
                store.Path() +
                    " is being recorded into (run 1 is in progress): import when the "
                    "recording has stopped, or into another store");
    }
    EXPECT_EQ(store.FrameCount(), 0);
  }
  EXPECT_EQ(Import(store, model::ExportText({frame})).frames, 1);
  EXPECT_EQ(store.Run(1)->end_state, EndState::kInterrupted);
  EXPECT_FALSE(RecorderHolds(store.Path()));
  frame.UtcMs += 1000;  // a recorder without a run in progress takes it
  frame.Time = model::StampFromUnixMs(frame.UtcMs).Local;
  const fileio::UniqueFd recorder = LockBesideStore(RecorderLockName(store.Path()), "held");
  EXPECT_EQ(Import(store, model::ExportText({frame})).frames, 1);
}

// A line of Frame()'s values at the local time `local`, in the C locale.
std::string LineAt(const model::DateTimeParts& local) {
  model::S_HARDWARE_DATA r = Frame(0);
  std::string line = model::ExportLine(r);
  return model::DateTimeText(model::EncodeDateTime(local)) + line.substr(line.find('\t'));
}

TEST(RunFiles, TimesTheClocksSkipOrThatRunBackwardsAreRefusedAndTheRepeatedHourIsRead) {
  const std::string header = model::ExportHeaderLine();
  const auto at = [](int year, int month, int day, int hour, int minute, int second) {
    return LineAt({year, month, day, hour, minute, second, 0});
  };
  struct Case {
    std::string lines;
    std::string says;  // "" when it imports
  };
  const Case cases[] = {
      {at(2024, 3, 31, 1, 59, 59) + at(2024, 3, 31, 2, 30, 0), "skip in "},
      {at(2040, 3, 25, 1, 59, 59) + at(2040, 3, 25, 2, 0, 0), "skip in "},  // past the zone table
      {at(2024, 5, 1, 10, 0, 5) + at(2024, 5, 1, 10, 0, 3), "earlier than line 2 (\"05/01/24"},
      {at(2024, 10, 27, 2, 59, 59) + at(2024, 10, 27, 2, 0, 0), ""},
  };
  // The process's zone, and a named zone unlike the process's.
  for (const auto& [tz, option] : {std::pair{"Europe/Berlin", ""}, {"UTC", "Europe/Berlin"}}) {
    ScopedLocaleAndZone scope("C", tz);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(tz) + " " + c.lines.substr(0, 17) + c.says);
      std::istringstream in(header + c.lines);
      try {
        const std::vector<model::S_HARDWARE_DATA> frames = ReadExport(in, {option});
        EXPECT_EQ(c.says, "");
        ASSERT_EQ(frames.size(), 2u);
        EXPECT_EQ(frames[0].UtcMs, kClocksBackUtcMs - 1000);
        EXPECT_EQ(frames[1].UtcMs, kClocksBackUtcMs);
      } catch (const ImportError& error) {
        EXPECT_EQ(error.Line(), 3);
        EXPECT_NE(c.says, "");
        EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
      }
    }
  }
  std::istringstream in(header);
  EXPECT_THROW(ReadExport(in, {"Mars/Olympus"}), std::invalid_argument);
}

TEST(RunFiles, FramesAlreadyInTheStoreAreSkippedAndRunsComeFromTheNewOnes) {
  // Channel 1 charges in frames 0-19, channel 2 in 10-29; two frames a second, equal in pairs.
  std::vector<model::S_HARDWARE_DATA> frames;
  for (int i = 0; i < 30; ++i) {
    model::S_HARDWARE_DATA r = Frame(1'700'000'000'000 + i / 2 * 1000 + i % 2 * 500);
    r.Channels[0].OperationMode = i < 20 ? 1 : 0;
    r.Channels[1].OperationMode = i >= 10 ? 1 : 0;
    r.Channels[0].OutputVoltage = static_cast<std::uint16_t>(11000 + i / 2);
    r.Time = model::StampFromUnixMs(r.UtcMs).Local;
    frames.push_back(r);
  }
  const auto file = [&](int first, int end) {
    return model::ExportText({frames.begin() + first, frames.begin() + end});
  };
  struct Case {
    std::string name, first, second;
    std::int64_t frames, existing;
    std::size_t runs;  // of the second import
  };
  const Case cases[] = {
      {"the same file twice", file(0, 30), file(0, 30), 0, 30, 0},
      {"two runs' overlapping exports", file(0, 20), file(10, 30), 10, 10, 1},
      {"one of two equal frames of a second", file(0, 3), file(0, 4), 1, 3, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    Store store(dir / "store.sqlite");
    Import(store, c.first);
    const std::vector<RunSummary> before = store.Runs();
    const std::int64_t stored = store.FrameCount();
    const ImportResult result = Import(store, c.second);
    EXPECT_EQ(result.frames, c.frames);
    EXPECT_EQ(result.frames_existing, c.existing);
    EXPECT_EQ(result.runs.size(), c.runs);
    EXPECT_EQ(store.FrameCount(), stored + c.frames);
    EXPECT_EQ(store.Runs().size(), before.size() + c.runs);
  }
}

}  // namespace
}  // namespace korvane::record
