// SPDX-License-Identifier: GPL-3.0-or-later
// bench-record: the recordings store. Inserting frames through Store::Batch, reading a 24-hour
// run back with all its values, the file's size for 24 hours of frames, the run list of a store
// with 1,000 runs, and importing a 1,000,000-frame file in the export format.
//
// The frames are the simulated charger's charge/discharge scenario at one frame a second,
// encoded and decoded as the program decodes them, so their values (and so their sizes in the
// file) are those of a real charge. Every store is a real file in a temp folder.

#include <sys/stat.h>

#include <cstdint>
#include <exception>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "korvane/model/decoder.h"
#include "korvane/model/record.h"
#include "korvane/record/run.h"
#include "korvane/record/run_files.h"
#include "korvane/record/store.h"
#include "korvane/sim/frame_encoder.h"
#include "korvane/sim/scenario.h"
#include "system_bench.h"

namespace {

using korvane::bench::MonotonicMs;
using korvane::bench::PrintFigure;
using korvane::bench::PrintNote;
using korvane::model::S_HARDWARE_DATA;
using korvane::record::RunSummary;
using korvane::record::Store;

constexpr std::int64_t kDayFrames = 86'400;
constexpr std::int64_t kImportFrames = 1'000'000;
constexpr int kRunCount = 1'000;
constexpr int kRepeats = 15;
constexpr std::int64_t kFirstMs = 1'700'000'000'000;  // any fixed instant

// 24 hours of frames at one a second.
std::vector<S_HARDWARE_DATA> DayOfFrames() {
  const auto scenario = korvane::sim::MakeScenario(korvane::sim::ScenarioKind::kChargeDischarge,
                                                   korvane::sim::ScenarioOptions{});
  std::vector<S_HARDWARE_DATA> frames;
  frames.reserve(kDayFrames);
  for (std::int64_t i = 0; i < kDayFrames; ++i) {
    S_HARDWARE_DATA record =
        korvane::model::DecodePayload(korvane::sim::EncodePayload(scenario->Next()));
    record.UtcMs = kFirstMs + i * 1000;
    frames.push_back(record);
  }
  return frames;
}

// Adds `count` frames, the day's frames over and over with their instants running on, in
// batches of `batch_size`. Returns the seconds taken.
double Insert(Store& store, const std::vector<S_HARDWARE_DATA>& day, std::int64_t count,
              std::int64_t batch_size) {
  const double t0 = MonotonicMs();
  for (std::int64_t done = 0; done < count;) {
    const auto batch = store.Begin();
    for (const std::int64_t end = std::min(count, done + batch_size); done < end; ++done) {
      S_HARDWARE_DATA record = day[static_cast<std::size_t>(done % kDayFrames)];
      record.UtcMs = kFirstMs + done * 1000;
      batch->AddFrame(record);
    }
    batch->Commit();
  }
  return (MonotonicMs() - t0) / 1000.0;
}

// A finished charge as a recorded run sums it up.
RunSummary ChargeRun(std::int64_t start_ms, std::int64_t first_frame, std::int64_t frames) {
  RunSummary run;
  run.channel = 1;
  run.kind = korvane::record::kRunCharge;
  run.start_ms = start_ms;
  run.end_ms = start_ms + (frames - 1) * 1000;
  run.first_frame = first_frame;
  run.last_frame = first_frame + frames - 1;
  run.frames = frames;
  run.capacity_mah = 2450;
  run.energy_wh = 27.9;
  run.max_current_ma = 2000;
  run.peak_temperature = 318;
  run.first_output_mv = 10920;
  run.last_output_mv = 12600;
  run.min_cell_mv = 3640;
  run.max_cell_mv = 4203;
  run.cell_spread_mv = 6;
  run.end_state = korvane::record::EndState::kFinished;
  run.end_text = "Finished: Charge complete";
  return run;
}

// The file and its WAL, in bytes.
double FileBytes(const std::string& path) {
  double bytes = 0;
  for (const std::string& name : {path, path + "-wal"}) {
    struct stat info {};
    if (::stat(name.c_str(), &info) == 0) {
      bytes += static_cast<double>(info.st_size);
    }
  }
  return bytes;
}

// The median and the largest of `kRepeats` timings of `action`, in milliseconds.
void Time(const std::string& name, const std::function<void()>& action) {
  std::vector<double> ms;
  for (int i = 0; i < kRepeats; ++i) {
    const double t0 = MonotonicMs();
    action();
    ms.push_back(MonotonicMs() - t0);
  }
  PrintFigure(name + "_ms_median", korvane::bench::Median(ms), 2);
  PrintFigure(name + "_ms_max", korvane::bench::Percentile(ms, 100), 2);
}

void Check(bool condition, const std::string& what) {
  if (!condition) {
    throw std::runtime_error(what);
  }
}

void InsertAndReadADay(const korvane::bench::TempDir& dir,
                       const std::vector<S_HARDWARE_DATA>& day) {
  const std::string batched = dir.Path() + "/batched.sqlite";
  {
    Store store(batched);
    const double seconds = Insert(store, day, kDayFrames, 1000);
    PrintFigure("insert_frames_per_s_batches_of_1000", kDayFrames / seconds, 0);
  }
  // Closing the last connection checkpoints the WAL into the file and removes it.
  const double bytes = FileBytes(batched);
  PrintFigure("store_mb_24h_at_1_frame_per_s", bytes / 1e6, 2);
  PrintFigure("store_bytes_per_frame", bytes / kDayFrames, 1);

  const std::string single = dir.Path() + "/single.sqlite";
  std::int64_t run_id = 0;
  {
    Store store(single);
    const double seconds = Insert(store, day, kDayFrames, kDayFrames);
    PrintFigure("insert_frames_per_s_one_batch_of_86400", kDayFrames / seconds, 0);
    RunSummary run = ChargeRun(kFirstMs, 1, kDayFrames);
    const auto batch = store.Begin();
    batch->PutRun(run);
    batch->Commit();
    run_id = run.id;
  }
  const Store store(single);
  Time("read_24h_run", [&] {
    const auto run = store.Run(run_id);
    const auto frames = store.Frames(run->first_frame, run->last_frame);
    Check(static_cast<std::int64_t>(frames.size()) == kDayFrames, "the day's run is incomplete");
  });
  PrintNote("goal: read_24h_run under 200 ms");
}

void ListRuns(const korvane::bench::TempDir& dir) {
  const std::string path = dir.Path() + "/runs.sqlite";
  {
    Store store(path);
    const auto batch = store.Begin();
    for (int i = 0; i < kRunCount; ++i) {
      RunSummary run = ChargeRun(kFirstMs + std::int64_t{i} * 8'000'000, 1 + i * 7200, 7200);
      run.channel = 1 + i % 2;
      batch->PutRun(run);
    }
    batch->Commit();
  }
  Time("open_store_and_list_1000_runs", [&] {
    const Store store(path);
    Check(store.Runs().size() == kRunCount, "runs missing");
  });
  const Store store(path);
  Time("list_1000_runs", [&] { Check(store.Runs().size() == kRunCount, "runs missing"); });
  PrintNote("goal: open_store_and_list_1000_runs under 300 ms");
}

void ExportAndImport(const korvane::bench::TempDir& dir, const std::vector<S_HARDWARE_DATA>& day) {
  const std::string source = dir.Path() + "/source.sqlite";
  const std::string file = dir.Path() + "/frames.tsv";
  {
    Store store(source);
    Insert(store, day, kImportFrames, 100'000);
    std::ofstream out(file, std::ios::binary);
    const double t0 = MonotonicMs();
    korvane::record::ExportFrames(store, 1, kImportFrames, out);
    out.flush();
    Check(static_cast<bool>(out), "cannot write " + file);
    PrintFigure("export_frames_per_s", kImportFrames / ((MonotonicMs() - t0) / 1000.0), 0);
  }
  PrintFigure("export_file_mb_1000000_frames", FileBytes(file) / 1e6, 1);
  Store store(dir.Path() + "/imported.sqlite");
  const double t0 = MonotonicMs();
  const auto result = korvane::record::ImportFile(store, file);
  const double seconds = (MonotonicMs() - t0) / 1000.0;
  Check(result.frames == kImportFrames, "the import did not read every frame");
  PrintFigure("import_frames_per_s_1000000_frames", kImportFrames / seconds, 0);
  PrintNote("goal: import_frames_per_s at least 100000");
}

int Run() {
  PrintNote(
      "SQLite store in a temp folder (WAL, synchronous FULL); frames of the charge/discharge "
      "scenario at one a second; timings are medians of " +
      std::to_string(kRepeats) + " unless named otherwise");
  const korvane::bench::TempDir dir;
  const std::vector<S_HARDWARE_DATA> day = DayOfFrames();
  InsertAndReadADay(dir, day);
  ListRuns(dir);
  ExportAndImport(dir, day);
  return 0;
}

}  // namespace

int main() {
  try {
    return Run();
  } catch (const std::exception& e) {
    std::cerr << "bench-record: " << e.what() << "\n";
    return 1;
  }
}
