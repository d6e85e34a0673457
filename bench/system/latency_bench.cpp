// SPDX-License-Identifier: GPL-3.0-or-later
// bench-latency: time from the last byte of a frame written to the pty (stamped just before the
// write call) until the main window's labels hold that frame's values, through the real port,
// acquisition thread, model and window.
//
// Observation: the window is a subclass whose ShowLiveValues() calls the window's own and then
// reads the output-capacity label back on the UI thread. The time taken there is when the label
// holds the value (its repaint follows in the next paint pass and is not counted). Every frame
// carries a distinct capacity, so the label's text names the frame it came from.

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "korvane/sim/frame_encoder.h"
#include "korvane/sim/pty.h"
#include "korvane/sim/scenario.h"
#include "korvane/ui/fit_label.h"
#include "korvane/ui/form_main.h"
#include "korvane/ui/main_layout.h"
#include "system_bench.h"

namespace {

using korvane::bench::MonotonicMs;

constexpr int kWarmUpFrames = 10;  // not counted: first paints, fonts, caches
constexpr int kCountedFrames = 520;
constexpr int kFrames = kWarmUpFrames + kCountedFrames;
constexpr int kCapacityBase = 1000;  // mAh of frame 0; the label shows it as "1.000"
// Writes are spaced 60..100 ms apart at random, so they fall at every phase of the 50 ms cycle
// and never two in one cycle.
constexpr int kMinGapMs = 60;
constexpr int kMaxGapMs = 100;

class BenchStorage final : public korvane::ui::SettingsStorage {
 public:
  explicit BenchStorage(std::string device) : device_(std::move(device)) {}
  std::string FileName() const override { return "(bench)"; }
  korvane::ui::WindowSettings Load() override { return {}; }
  std::map<int, std::string> PortOverrides() override { return {{1, device_}}; }
  void Save(const korvane::ui::WindowSettings&) override {}

 private:
  std::string device_;
};

// The frame index a capacity text names ("1.234" -> 234), or -1.
int FrameIndexOf(const QString& text) {
  long value = 0;
  bool any = false;
  for (const QChar c : text) {
    if (c.isDigit()) {
      value = value * 10 + c.digitValue();
      any = true;
    }
  }
  const long index = value - kCapacityBase;
  return any && index >= 0 && index < kFrames ? static_cast<int>(index) : -1;
}

class ObservedForm final : public korvane::ui::TFormMain {
 public:
  ObservedForm(korvane::ui::SettingsStorage& storage, const korvane::ui::StartOptions& options,
               std::vector<double>& shown_ms)
      : TFormMain(storage, options), shown_ms_(shown_ms) {}

  void ShowLiveValues(const korvane::model::LiveValues& values) override {
    TFormMain::ShowLiveValues(values);
    const double now = MonotonicMs();
    const int index = FrameIndexOf(Controls().LabelOutputCapacity->text());
    if (index >= 0 && shown_ms_[static_cast<std::size_t>(index)] < 0) {
      shown_ms_[static_cast<std::size_t>(index)] = now;
    }
  }

 private:
  std::vector<double>& shown_ms_;
};

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const korvane::bench::TempDir runtime;
  ::setenv("XDG_RUNTIME_DIR", runtime.MakeFolder("runtime").c_str(), 1);
  QApplication app(argc, argv);

  auto pty = korvane::sim::Pty::Open();
  BenchStorage storage(pty->SlavePath());
  korvane::ui::StartOptions options;
  options.NoPromptOnClose = true;
  std::vector<double> written_ms(kFrames, -1);
  std::vector<double> shown_ms(kFrames, -1);
  std::vector<double> write_ms(kFrames, 0);
  ObservedForm form(storage, options, shown_ms);
  form.show();

  // Frames queued before the port opens are purged by the open: write only once it is open
  // (the Pty holds one descriptor on the slave itself; the window's open makes two).
  if (!korvane::bench::WaitUntil(
          [&] {
            QCoreApplication::processEvents();
            return korvane::bench::CountOpenDescriptors(::getpid(), pty->SlavePath()) >= 2;
          },
          std::chrono::seconds(10))) {
    std::cerr << "bench-latency: the window did not open the port\n";
    return 1;
  }

  std::atomic<bool> writer_done{false};
  std::thread writer([&] {
    auto scenario = korvane::sim::MakeScenario(korvane::sim::ScenarioKind::kChargeDischarge,
                                               korvane::sim::ScenarioOptions{});
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> gap(kMinGapMs, kMaxGapMs);
    for (int i = 0; i < kFrames; ++i) {
      korvane::sim::ChargerRecord record = scenario->Next();
      record.channels[0].capacity_mah = static_cast<std::uint16_t>(kCapacityBase + i);
      const std::string frame = korvane::sim::EncodeFrame(record);
      std::this_thread::sleep_for(std::chrono::milliseconds(gap(rng)));
      // The last byte reaches the pty between these two stamps (the write never waits: the
      // queue is empty). Counting from the first never understates; a preemption between the
      // write and the second stamp would.
      const double before = MonotonicMs();
      if (!pty->Write(frame)) {
        std::cerr << "bench-latency: frame " << i << " not fully written\n";
      }
      written_ms[static_cast<std::size_t>(i)] = before;
      write_ms[static_cast<std::size_t>(i)] = MonotonicMs() - before;
    }
    writer_done = true;
  });

  // Ends the loop once the last frame has shown, or 2 s after the writer finished.
  double writer_done_at = -1;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (!writer_done) {
      return;
    }
    if (writer_done_at < 0) {
      writer_done_at = MonotonicMs();
    }
    if (shown_ms.back() >= 0 || MonotonicMs() - writer_done_at > 2000) {
      app.quit();
    }
  });
  check.start(20);
  app.exec();
  writer.join();
  form.close();

  std::vector<double> latency;
  int missed = 0;
  for (int i = kWarmUpFrames; i < kFrames; ++i) {
    const auto k = static_cast<std::size_t>(i);
    if (shown_ms[k] < 0) {
      ++missed;
    } else {
      latency.push_back(shown_ms[k] - written_ms[k]);
    }
  }
  korvane::bench::PrintNote("frame written to the pty -> the window's labels hold its values; " +
                            std::to_string(kCountedFrames) + " frames, 60-100 ms apart");
  korvane::bench::PrintFigure("latency_frames", static_cast<double>(latency.size()), 0);
  korvane::bench::PrintFigure("latency_frames_not_shown", missed, 0);
  korvane::bench::PrintFigure("latency_ms_min", korvane::bench::Percentile(latency, 0.0001));
  korvane::bench::PrintFigure("latency_ms_median", korvane::bench::Median(latency));
  korvane::bench::PrintFigure("latency_ms_p99", korvane::bench::Percentile(latency, 99));
  korvane::bench::PrintFigure("latency_ms_max", korvane::bench::Percentile(latency, 100));
  korvane::bench::PrintFigure("latency_write_call_ms_max",
                              korvane::bench::Percentile(write_ms, 100), 2);
  return missed == 0 ? 0 : 1;
}
