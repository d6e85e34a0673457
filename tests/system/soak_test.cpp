// SPDX-License-Identifier: GPL-3.0-or-later
// A long run at full speed through the real window (offscreen): link, model, labels and chart.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <ostream>
#include <vector>

#include "../ui/fakes.h"
#include "korvane/chart/trend_chart_widget.h"
#include "korvane/chart/trend_series.h"
#include "korvane/model/hardware_data.h"
#include "korvane/model/vocabulary.h"
#include "korvane/sim/frame_encoder.h"
#include "korvane/sim/pty.h"
#include "korvane/sim/runner.h"
#include "korvane/sim/scenario.h"
#include "korvane/ui/fit_label.h"
#include "korvane/ui/form_main.h"
#include "korvane/ui/main_layout.h"
#include "korvane/ui/status_lamp.h"
#include "system_support.h"

namespace korvane::system_test {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

constexpr std::uint64_t kFrames = 20000;
constexpr std::uint64_t kWarmUpFrames = 4000;  // the history (3600) is full by then
constexpr std::size_t kHistoryCapacity = 3600;
constexpr std::uint64_t kSeed = 21;
// Resident memory may grow this much from the first sample (4000 frames) to the end, and this
// much from the second (8000) on. Measured in a plain build (g++ 12, Qt 6, offscreen): 1.7 MiB,
// all of it between the first two samples, then under 0.1 MiB (the test prints its samples).
constexpr long kRssGrowthBoundKib = 8 * 1024;
constexpr long kRssSettledGrowthBoundKib = 2 * 1024;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

struct Sample {
  long rss_kib;
  int fds;
};

// The window's own state at a sample point: painted once, then measured.
Sample Measure(ui::TFormMain& window) {
  window.grab();  // paints every widget, the chart included
  return {ResidentKib(), OpenFdCount()};
}

TEST(Soak, TwentyThousandFramesBackToBackThroughTheWindow) {
  LinkEvents events;
  EventLineBuffer lines(events);
  std::ostream trace(&lines);
  auto pty = sim::Pty::Open();
  ui::testing::FileStorage storage;
  storage.ports[7] = pty->SlavePath();
  storage.stored.CommPort = 7;
  storage.stored.ChartValuesMask = 0x1FF;  // all nine series
  ui::testing::ScriptedPrompter prompter;
  ui::TFormMain window(storage, {.Debug = true, .NoPromptOnClose = true},
                       ui::FormMainSeams{&prompter, &trace});
  window.show();
  // The open purges what was queued before it; the runner starts after it.
  ASSERT_TRUE(ui::testing::WaitUntil([&] { return events.opened == 1; }));

  sim::RunnerOptions options;
  options.interval = 0ms;
  options.max_frames = kFrames;
  options.write_wait = 30s;  // the window keeps reading: nothing may be dropped
  sim::ScenarioOptions scenario;
  scenario.seed = kSeed;
  sim::Runner runner(*pty, sim::MakeScenario(sim::ScenarioKind::kChargeDischarge, scenario),
                     options);
  const int fds_start = OpenFdCount();
  const auto started = SteadyClock::now();
  runner.Start();

  // Samples at warm-up, every further 4000 frames and at the end, to show the trend.
  std::vector<Sample> samples;
  for (std::uint64_t at = kWarmUpFrames; at < kFrames; at += kWarmUpFrames) {
    ASSERT_TRUE(ui::testing::WaitUntil([&] { return events.valid >= at; }, 300s))
        << events.valid << " decoded";
    samples.push_back(Measure(window));
  }
  ASSERT_TRUE(ui::testing::WaitUntil(
      [&] { return runner.Finished() && events.valid >= runner.Stats().valid_frames; }, 300s))
      << events.valid << " decoded";
  const double seconds = std::chrono::duration<double>(SteadyClock::now() - started).count();
  samples.push_back(Measure(window));
  const Sample warm = samples.front();
  const Sample end = samples.back();

  const sim::RunnerStats sent = runner.Stats();
  EXPECT_EQ(sent.frames, kFrames);
  EXPECT_EQ(sent.valid_frames, kFrames);
  EXPECT_EQ(sent.dropped_bytes, 0u);
  EXPECT_FALSE(sent.line_failed);

  auto expected = sim::MakeScenario(sim::ScenarioKind::kChargeDischarge, scenario);
  std::vector<sim::ChargerRecord> tail;  // the last 3600 records sent
  for (std::uint64_t i = 0; i < kFrames; ++i) {
    sim::ChargerRecord record = expected->Next();
    if (i + kHistoryCapacity >= kFrames) {
      tail.push_back(record);
    }
  }

  // One more frame, sent by hand with values the scenario never sends: once it is decoded every
  // frame before it has been, and once the labels show it the last refresh reached them.
  sim::ChargerRecord sentinel = tail.back();
  sentinel.frame_code = 0xA5;
  sentinel.channels[0].output_mv = 4321;
  sentinel.channels[0].cells_mv[0] = 1234;
  ASSERT_TRUE(pty->Write(sim::EncodeFrame(sentinel)));
  ASSERT_TRUE(ui::testing::WaitUntil([&] {
    const auto last = window.HardwareData().LastRecord();
    return last && last->FrameCode == 0xA5;
  }));
  EXPECT_EQ(events.valid, kFrames + 1);  // nothing decoded twice
  EXPECT_EQ(events.wrong_length + events.wrong_checksum, 0u);
  const ui::MainControls& c = window.Controls();
  EXPECT_TRUE(ui::testing::WaitUntil([&] {
    return c.LabelOutputVoltage->text().toStdString() == model::FormatMilli(4321) &&
           c.LabelCellVoltage[0]->text().toStdString() == model::FormatMilli(1234);
  }));
  EXPECT_EQ(c.CommStatus->StatusText()->text(), "OK");
  const int plotted = c.TrendChart->Chart().Series(0)->Count();
  EXPECT_GT(plotted, 0);
  EXPECT_LE(plotted, static_cast<int>(kHistoryCapacity));

  // The history holds exactly the newest 3600 frames, in order.
  const auto history = window.HardwareData().CopyHistory();
  ASSERT_EQ(history.size(), kHistoryCapacity);
  for (std::size_t i = 0; i + 1 < history.size(); ++i) {
    ASSERT_EQ(history[i].Channels[0].OutputVoltage, tail[i + 1].channels[0].output_mv) << i;
    ASSERT_EQ(history[i].Channels[1].OutputVoltage, tail[i + 1].channels[1].output_mv) << i;
    ASSERT_EQ(history[i].Channels[0].OutputCapacity, tail[i + 1].channels[0].capacity_mah) << i;
  }
  EXPECT_EQ(history.back().FrameCode, 0xA5);

  std::printf(
      "soak: %llu frames in %.1f s = %.0f frames/s; VmRSS %ld KiB after %llu frames, %ld KiB at "
      "the end (growth %ld KiB, bound %ld KiB); open fds %d at start, %d after warm-up, %d at "
      "the end\n",
      static_cast<unsigned long long>(kFrames), seconds, static_cast<double>(kFrames) / seconds,
      warm.rss_kib, static_cast<unsigned long long>(kWarmUpFrames), end.rss_kib,
      end.rss_kib - warm.rss_kib, kRssGrowthBoundKib, fds_start, warm.fds, end.fds);
  std::printf("soak: VmRSS KiB every %llu frames:", static_cast<unsigned long long>(kWarmUpFrames));
  for (const Sample& sample : samples) {
    std::printf(" %ld", sample.rss_kib);
  }
  std::printf("\n");
  // A sanitizer's allocator holds freed blocks back for a while: its resident memory shows
  // nothing about leaks.
  if (!kSanitized) {
    EXPECT_LT(end.rss_kib - warm.rss_kib, kRssGrowthBoundKib);
    ASSERT_GE(samples.size(), 3u);
    EXPECT_LT(end.rss_kib - samples[1].rss_kib, kRssSettledGrowthBoundKib);
  }
  for (const Sample& sample : samples) {
    EXPECT_EQ(sample.fds, fds_start);
  }
  EXPECT_TRUE(window.close());
}

}  // namespace
}  // namespace korvane::system_test
