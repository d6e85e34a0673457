// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <QLabel>
#include <chrono>
#include <memory>
#include <sstream>

#include "fakes.h"
#include "korvane/chart/trend_chart_widget.h"
#include "korvane/model/hardware_data.h"
#include "korvane/sim/pty.h"
#include "korvane/sim/runner.h"
#include "korvane/sim/scenario.h"
#include "korvane/ui/fit_label.h"
#include "korvane/ui/form_main.h"
#include "korvane/ui/gradient_panel.h"
#include "korvane/ui/main_layout.h"
#include "korvane/ui/status_lamp.h"

namespace korvane::ui::testing {

inline constexpr int kChargerPort = 7;

// The main window with scripted prompts, optionally fed by the simulated charger on a real pty
// reachable as port 7. The window is destroyed before the charger.
class WindowTest : public ::testing::Test {
 protected:
  void StartCharger(std::chrono::milliseconds interval = std::chrono::milliseconds(100)) {
    pty_ = sim::Pty::Open();
    sim::RunnerOptions options;
    options.interval = interval;
    runner_ = std::make_unique<sim::Runner>(
        *pty_, sim::MakeScenario(sim::ScenarioKind::kChargeDischarge, sim::ScenarioOptions{}),
        options);
    runner_->Start();
    storage.ports[kChargerPort] = pty_->SlavePath();
    storage.stored.CommPort = kChargerPort;
  }

  TFormMain& Open(StartOptions options = {}) {
    window = std::make_unique<TFormMain>(storage, options, FormMainSeams{&prompter, &trace});
    window->show();
    return *window;
  }

  void TearDown() override {
    window.reset();
    runner_.reset();
    pty_.reset();
  }

  const MainControls& C() const { return window->Controls(); }
  QString Status() const { return C().CommStatus->StatusText()->text(); }
  QColor LampColor() const { return C().CommStatus->Lamp()->EndColor(); }
  chart::TTrendChart& Chart() const { return C().TrendChart->Chart(); }

  bool WaitStatus(const QString& text) {
    return WaitUntil([&] { return Status() == text; });
  }
  // Waits until the model holds at least `count` records.
  bool WaitFrames(std::size_t count) {
    return WaitUntil([&] { return window->HardwareData().HistorySize() >= count; });
  }

  FileStorage storage;
  ScriptedPrompter prompter;
  std::ostringstream trace;

 private:
  std::unique_ptr<sim::Pty> pty_;
  std::unique_ptr<sim::Runner> runner_;

 protected:
  std::unique_ptr<TFormMain> window;
};

}  // namespace korvane::ui::testing
