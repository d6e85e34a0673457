// SPDX-License-Identifier: GPL-3.0-or-later
// bench-packs: the Packs window on a store with 200 packs and 20,000 runs (a hundred per pack,
// charges and discharges with capacities and IR estimates, one frame each, in a temp folder),
// offscreen. The median time from constructing the window to its table holding every pack with
// the first paint done.

#include <QApplication>
#include <cstdint>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "korvane/model/record.h"
#include "korvane/record/packs.h"
#include "korvane/record/run.h"
#include "korvane/record/store.h"
#include "korvane/ui/app_services.h"
#include "korvane/ui/prompter.h"
#include "packs/packs_table_model.h"
#include "packs/packs_window.h"
#include "system_bench.h"

namespace {

using korvane::bench::Median;
using korvane::bench::MonotonicMs;
using korvane::bench::Percentile;
using korvane::bench::PrintFigure;
namespace record = korvane::record;

constexpr int kPackCount = 200;
constexpr int kRunCount = 20'000;
constexpr int kRepeats = 7;
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
  record::Store store(path);
  std::vector<std::int64_t> packs;
  for (int p = 0; p < kPackCount; ++p) {
    record::Pack pack;
    pack.name = "Pack " + std::to_string(p + 1);
    pack.chemistry = record::Chemistries()[static_cast<std::size_t>(p) % 7];
    pack.cells = 1 + p % 6;
    pack.rated_mah = 1000 + 100 * (p % 40);
    pack.retired = p % 10 == 9;
    packs.push_back(store.AddPack(pack));
  }
  const auto batch = store.Begin();
  for (int r = 0; r < kRunCount; ++r) {
    record::RunSummary run;
    run.channel = 1 + r % 2;
    run.kind = r % 2 == 0 ? record::kRunCharge : record::kRunDischarge;
    run.start_ms = kFirstMs + std::int64_t{r} * 3'600'000;
    korvane::model::S_HARDWARE_DATA frame;
    frame.UtcMs = run.start_ms;
    run.first_frame = run.last_frame = batch->AddFrame(frame);
    run.end_ms = run.start_ms + 1000;
    run.frames = 1;
    run.end_state = record::EndState::kFinished;
    run.end_text = "Finished: CC-CV";
    run.charged_mah =
        run.kind == record::kRunCharge ? static_cast<std::uint16_t>(900 + r % 500) : 0;
    run.discharged_mah =
        run.kind == record::kRunDischarge ? static_cast<std::uint16_t>(850 + r % 500) : 0;
    run.capacity_mah = run.charged_mah + run.discharged_mah;
    run.ir_mohm = 10.0 + (r % 300) / 10.0;
    run.pack_id = packs[static_cast<std::size_t>(r % kPackCount)];
    batch->PutRun(run, record::Store::Batch::NewRunPack::kGiven);
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
  constexpr int kShown = kPackCount - kPackCount / 10;  // retired packs are hidden

  std::vector<double> open_ms;
  for (int i = 0; i < kRepeats; ++i) {
    const double t0 = MonotonicMs();
    korvane::ui::PacksWindow window(path, settings, prompter, std::cerr);
    window.show();
    QApplication::processEvents();  // layout and the first paint
    if (window.Rows().rowCount() != kShown) {
      std::cerr << "bench-packs: the table holds " << window.Rows().rowCount() << " packs\n";
      return 1;
    }
    open_ms.push_back(MonotonicMs() - t0);
  }
  PrintFigure("packs_window_open_ms", Median(open_ms), 1);
  PrintFigure("packs_window_open_ms_max", Percentile(open_ms, 100), 1);
  return 0;
}
