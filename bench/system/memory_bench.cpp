// SPDX-License-Identifier: GPL-3.0-or-later
// bench-memory: resident memory of the real program with a full history (3600 records) and all
// nine series charted, and its CPU share at line rate in that state (the chart is largest then).
//
// The program runs offscreen in its own process with chart mask 511; the simulated charger in
// this process writes 3700 frames back to back (as fast as the program reads them), waits until
// the program has read them all, lets the last refresh settle and reads VmRSS and VmHWM from
// /proc/<pid>/status.

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <thread>

#include "korvane/sim/runner.h"
#include "system_bench.h"

namespace {

using korvane::bench::MonotonicMs;

constexpr unsigned kAllSeries = 511;
constexpr std::uint64_t kFillFrames = 3700;  // more than the history's 3600
constexpr double kLineBytesPerSecond = 960;

void PrintMemory(const std::string& prefix, pid_t pid) {
  korvane::bench::PrintFigure(prefix + "rss_mb",
                              static_cast<double>(korvane::bench::StatusKb(pid, "VmRSS")) / 1024.0);
  korvane::bench::PrintFigure(prefix + "rss_peak_mb",
                              static_cast<double>(korvane::bench::StatusKb(pid, "VmHWM")) / 1024.0);
}

}  // namespace

int Run() {
  korvane::bench::ProgramUnderTest program(kAllSeries);
  korvane::bench::PrintNote("korvane-connect offscreen, chart mask 511");
  PrintMemory("start_", program.Pid());

  korvane::sim::RunnerOptions fill;
  fill.interval = std::chrono::milliseconds(0);
  fill.max_frames = kFillFrames;
  const double t0 = MonotonicMs();
  korvane::sim::Runner& feed = program.Feed(fill);
  if (!feed.WaitFinished(std::chrono::minutes(3)) ||
      !program.WaitDrained(std::chrono::seconds(10))) {
    std::cerr << "bench-memory: the history was not filled in time\n";
    return 1;
  }
  const double fill_s = (MonotonicMs() - t0) / 1000.0;
  const auto sent = feed.Stats().valid_frames;
  std::this_thread::sleep_for(std::chrono::seconds(1));
  korvane::bench::PrintFigure("full_history_frames_sent", static_cast<double>(sent), 0);
  korvane::bench::PrintFigure("full_history_fill_frames_per_s", static_cast<double>(sent) / fill_s);
  PrintMemory("full_history_", program.Pid());

  // Line rate with the history full: every frame rebuilds the whole chart.
  korvane::sim::RunnerOptions line;
  line.interval = std::chrono::milliseconds(0);
  line.line_bytes_per_s = kLineBytesPerSecond;
  program.Feed(line);
  std::this_thread::sleep_for(std::chrono::seconds(3));
  const double cpu0 = korvane::bench::CpuSeconds(program.Pid());
  const double c0 = MonotonicMs();
  std::this_thread::sleep_for(std::chrono::seconds(20));
  const double cpu1 = korvane::bench::CpuSeconds(program.Pid());
  const double wall_s = (MonotonicMs() - c0) / 1000.0;
  korvane::bench::PrintFigure("full_history_cpu_percent_line_rate", 100.0 * (cpu1 - cpu0) / wall_s,
                              2);
  PrintMemory("full_history_after_line_rate_", program.Pid());

  const std::size_t dropped = program.DroppedBytes();
  const int code = program.Stop();
  if (code != 0 || dropped != 0) {
    std::cerr << "bench-memory: exit code " << code << ", " << dropped << " bytes dropped\n";
    return 1;
  }
  return 0;
}

int main() {
  try {
    return Run();
  } catch (const std::exception& e) {
    std::cerr << "bench-memory: " << e.what() << "\n";
    return 1;
  }
}
