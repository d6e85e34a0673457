// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "korvane/sim/pty.h"
#include "korvane/sim/runner.h"
#include "korvane/test_support/piped_child.h"
#include "korvane/test_support/temp_dir.h"

namespace korvane::logger {
namespace {

using namespace std::chrono_literals;

// --tsv promises exit status 1 when standard output fails: here its reader goes once frames
// have gone out.
TEST(RecordLines, StandardOutputBrokenWhileRecordingExitsWithOne) {
  const test_support::TempDir dir;
  const std::string& home = dir.path();
  auto pty = sim::Pty::Open();
  sim::RunnerOptions pace;
  pace.interval = 20ms;
  sim::Runner charger(*pty, sim::MakeScenario(sim::ScenarioKind::kChargeDischarge, {}), pace);
  charger.Start();
  test_support::PipedChild record(
      {"/bin/bash", "-c", "\"$@\" | head -c 4000 >/dev/null; exit ${PIPESTATUS[0]}", "-",
       KORVANE_LOG, "record", "--device", pty->SlavePath(), "--store", home + "/s.sqlite", "--tsv"},
      {"HOME=" + home, "XDG_CONFIG_HOME=" + home, "XDG_DATA_HOME=" + home, "LC_ALL=C"});
  EXPECT_EQ(record.Wait(30s), 1) << record.Err();
  EXPECT_NE(record.Err().find("korvane-log: cannot write to standard output: Broken pipe\n"),
            std::string::npos)
      << record.Err();
}

}  // namespace
}  // namespace korvane::logger
