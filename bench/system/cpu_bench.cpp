// SPDX-License-Identifier: GPL-3.0-or-later
// bench-cpu: the share of one core the real program uses while frames arrive at one a second and
// at the line's maximum (back to back at 9600 baud, about 7.7 a second), and what the recording
// of every frame adds to it at the line's maximum.
//
// The program runs offscreen in its own process with the default chart selection, recording (its
// default) into a store in the bench's temp folder; the simulated charger writes to its pty from
// this process. The share is the program's utime + stime growth (/proc/<pid>/stat, all threads)
// over a measuring window after a warm-up, divided by the window's wall time. The line-rate case
// runs once more with the recording off; the difference is the recording's share.

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <thread>

#include "korvane/sim/runner.h"
#include "system_bench.h"

namespace {

using korvane::bench::MonotonicMs;

constexpr double kLineBytesPerSecond = 960;  // 9600 baud, 8N1
constexpr unsigned kDefaultMask = 3;

int Seconds(const char* variable, int fallback) {
  const char* text = std::getenv(variable);
  return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

struct Share {
  bool ok = false;
  double percent = 0;
};

// Prints the share under `name`; not ok when the program failed, or recorded nothing although
// it should.
Share Measure(const std::string& name, std::chrono::milliseconds interval, int warm_up_s,
              int measure_s, korvane::bench::Recording recording) {
  korvane::bench::ProgramUnderTest program(kDefaultMask, recording);
  korvane::sim::RunnerOptions options;
  options.interval = interval;
  options.line_bytes_per_s = kLineBytesPerSecond;
  korvane::sim::Runner& feed = program.Feed(options);
  std::this_thread::sleep_for(std::chrono::seconds(warm_up_s));

  const double cpu0 = korvane::bench::CpuSeconds(program.Pid());
  const double t0 = MonotonicMs();
  const auto frames0 = feed.Stats().frames;
  std::this_thread::sleep_for(std::chrono::seconds(measure_s));
  const double cpu1 = korvane::bench::CpuSeconds(program.Pid());
  const double t1 = MonotonicMs();
  const auto frames1 = feed.Stats().frames;

  const std::size_t dropped = program.DroppedBytes();
  const int code = program.Stop();
  const double wall_s = (t1 - t0) / 1000.0;
  const double percent = 100.0 * (cpu1 - cpu0) / wall_s;
  korvane::bench::PrintFigure(name, percent, 2);
  korvane::bench::PrintFigure(name + "_frames_per_s",
                              static_cast<double>(frames1 - frames0) / wall_s, 2);
  struct stat store {};
  const bool recorded = ::stat(program.RecordingFile().c_str(), &store) == 0 && store.st_size > 0;
  if (code != 0 || dropped != 0 || recorded != (recording != korvane::bench::Recording::kOff)) {
    std::cerr << "bench-cpu: " << name << ": exit code " << code << ", " << dropped
              << " bytes dropped, store " << (recorded ? "written" : "not written") << "\n";
    return {};
  }
  return {true, percent};
}

}  // namespace

int Run() {
  const int warm_up_s = Seconds("KORVANE_BENCH_WARMUP_S", 5);
  const int measure_s = Seconds("KORVANE_BENCH_MEASURE_S", 30);
  korvane::bench::PrintNote("korvane-connect offscreen, chart mask 3, utime+stime over " +
                            std::to_string(measure_s) + " s after " + std::to_string(warm_up_s) +
                            " s warm-up; percent of one core");
  korvane::bench::PrintNote(
      "recording into a store in the temp folder, or off ([RECORDING] Enabled=0) where named");
  using korvane::bench::Recording;
  const Share one_per_s = Measure("cpu_percent_1fps", std::chrono::milliseconds(1000), warm_up_s,
                                  measure_s, Recording::kToFile);
  const Share recording = Measure("cpu_percent_line_rate", std::chrono::milliseconds(0), warm_up_s,
                                  measure_s, Recording::kToFile);
  const Share not_recording =
      Measure("cpu_percent_line_rate_recording_off", std::chrono::milliseconds(0), warm_up_s,
              measure_s, Recording::kOff);
  if (recording.ok && not_recording.ok) {
    korvane::bench::PrintFigure("cpu_percent_recording_adds_at_line_rate",
                                recording.percent - not_recording.percent, 2);
    korvane::bench::PrintNote("goal: the recording adds under 0.2 % of one core");
  }
  return one_per_s.ok && recording.ok && not_recording.ok ? 0 : 1;
}

int main() {
  try {
    return Run();
  } catch (const std::exception& e) {
    std::cerr << "bench-cpu: " << e.what() << "\n";
    return 1;
  }
}
