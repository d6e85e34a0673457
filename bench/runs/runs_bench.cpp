// SPDX-License-Identifier: GPL-3.0-or-later
// bench-runs: the Runs window on a store with 1,000 runs (ten frames each, in a temp folder),
// offscreen. The median time from constructing the window to its table holding every run with
// the first paint done, and the median time of one live refresh (the timer's work each second).

#include <QApplication>
#include <cstdint>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "korvane/model/record.h"
#include "korvane/record/run.h"
#include "korvane/record/store.h"
#include "korvane/ui/app_services.h"
#include "korvane/ui/prompter.h"
#include "runs/runs_table_model.h"
#include "runs/runs_window.h"
#include "system_bench.h"

namespace {

using korvane::bench::Median;
using korvane::bench::MonotonicMs;
using korvane::bench::Percentile;
using korvane::bench::PrintFigure;

constexpr int kRunCount = 1'000;
constexpr int kFramesPerRun = 10;
constexpr int kRepeats = 15;
constexpr std::int64_t kFirstMs = 1'700'000'000'000;

// The defaults of every setting; saves nothing.
class DefaultSettings final : public korvane::ui::SettingsStorage {
 public:
  std::string FileName() const override { return {}; }
  korvane::ui::WindowSettings Load() override { return {}; }
  std::map<int, std::string> PortOverrides() override { return {}; }
  void Save(const korvane::ui::WindowSettings&) override {}
};

void FillStore(const std::string& path) {
  korvane::record::Store store(path);
  const auto batch = store.Begin();
  for (int r = 0; r < kRunCount; ++r) {
    korvane::record::RunSummary run;
    run.channel = 1 + r % 2;
    run.kind = korvane::record::kRunCharge;
    run.start_ms = kFirstMs + std::int64_t{r} * 60'000;
    for (int f = 0; f < kFramesPerRun; ++f) {
      korvane::model::S_HARDWARE_DATA frame;
      frame.UtcMs = run.start_ms + f * 1000;
      frame.Channels[static_cast<std::size_t>(run.channel - 1)].OutputVoltage = 12'000;
      const std::int64_t id = batch->AddFrame(frame);
      run.first_frame = f == 0 ? id : run.first_frame;
      run.last_frame = id;
      run.end_ms = frame.UtcMs;
    }
    run.frames = kFramesPerRun;
    run.capacity_mah = static_cast<std::uint16_t>(r);
    run.energy_wh = r / 10.0;
    run.end_state = korvane::record::EndState::kFinished;
    run.end_text = "Finished: CC-CV";
    batch->PutRun(run);
  }
  batch->Commit();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  const korvane::bench::TempDir dir;
  const std::string path = dir.Path() + "/recordings.sqlite";
  FillStore(path);
  DefaultSettings settings;
  korvane::ui::QtPrompter prompter;

  std::vector<double> open_ms;
  std::vector<double> refresh_ms;
  for (int i = 0; i < kRepeats; ++i) {
    const double t0 = MonotonicMs();
    korvane::ui::RunsWindow window(path, settings, prompter, std::cerr);
    window.show();
    QApplication::processEvents();  // layout and the first paint
    if (window.Rows().rowCount() != kRunCount) {
      std::cerr << "bench-runs: the table holds " << window.Rows().rowCount() << " runs\n";
      return 1;
    }
    open_ms.push_back(MonotonicMs() - t0);
    const double t1 = MonotonicMs();
    window.Refresh();
    refresh_ms.push_back(MonotonicMs() - t1);
  }
  PrintFigure("runs_window_open_ms", Median(open_ms), 1);
  PrintFigure("runs_window_open_ms_max", Percentile(open_ms, 100), 1);
  PrintFigure("runs_window_refresh_ms", Median(refresh_ms), 2);
  return 0;
}
