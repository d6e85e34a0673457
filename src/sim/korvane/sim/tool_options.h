// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "korvane/sim/runner.h"
#include "korvane/sim/scenario.h"

namespace korvane::sim {

struct ToolOptions {
  std::string device;  // --device PATH
  bool pty = false;    // --pty
  std::string link;    // --link PATH (with --pty)
  ScenarioKind scenario = ScenarioKind::kChargeDischarge;
  ScenarioOptions scenario_options;
  RunnerOptions runner;
  std::chrono::milliseconds drain{2000};  // at the end of --frames on a pty: time for the reader
  bool help = false;
  bool version = false;  // --version
};

struct ToolParse {
  ToolOptions options;
  std::string error;  // empty when the command line is good
};

// `args` excludes the program name.
ToolParse ParseToolOptions(const std::vector<std::string>& args);
std::string ToolUsage();

}  // namespace korvane::sim
