// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

namespace korvane::sim {
class Pty;
class Runner;
}  // namespace korvane::sim

namespace korvane::ui {

// The simulated charger of a demo run: a realistic charge on channel 1 and discharge on channel 2,
// one frame a second at the line's pace, written to a pseudo-terminal the link opens like a
// serial adapter.
class DemoCharger {
 public:
  // Throws std::system_error when no pseudo-terminal can be had.
  DemoCharger();
  ~DemoCharger();
  DemoCharger(const DemoCharger&) = delete;
  DemoCharger& operator=(const DemoCharger&) = delete;

  const std::string& DevicePath() const;
  void Start();
  // Ends the run; repeatable.
  void Stop();

 private:
  std::unique_ptr<sim::Pty> pty_;
  std::unique_ptr<sim::Runner> runner_;
};

}  // namespace korvane::ui
