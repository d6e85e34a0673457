// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/demo_charger.h"

#include <chrono>

#include "korvane/sim/pty.h"
#include "korvane/sim/runner.h"
#include "korvane/sim/scenario.h"

namespace korvane::ui {
namespace {

constexpr double kLineBytesPerSecond = 960;  // 9600 baud, 8N1

}  // namespace

DemoCharger::DemoCharger() : pty_(sim::Pty::Open()) {
  sim::RunnerOptions options;
  options.interval = std::chrono::milliseconds(1000);
  options.line_bytes_per_s = kLineBytesPerSecond;
  runner_ = std::make_unique<sim::Runner>(
      *pty_, sim::MakeScenario(sim::ScenarioKind::kChargeDischarge, sim::ScenarioOptions{}),
      options);
}

DemoCharger::~DemoCharger() {
  Stop();
}

const std::string& DemoCharger::DevicePath() const {
  return pty_->SlavePath();
}

void DemoCharger::Start() {
  runner_->Start();
}

void DemoCharger::Stop() {
  runner_->Stop();
}

}  // namespace korvane::ui
