// SPDX-License-Identifier: GPL-3.0-or-later
// korvane-charger-sim: a simulated charger on a pty or an existing tty. See --help.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "korvane/sim/pty.h"
#include "korvane/sim/runner.h"
#include "korvane/sim/serial_device.h"
#include "korvane/sim/tool_options.h"
#include "korvane/version.h"

namespace {

using korvane::sim::ToolOptions;

constexpr const char* kProgram = "korvane-charger-sim";

// A symlink to the pty's slave for as long as it lives. An existing symlink is replaced; any
// other kind of file is left alone and reported.
class ScopedLink {
 public:
  ScopedLink(std::string link, std::string target)
      : link_(std::move(link)), target_(std::move(target)) {
    namespace fs = std::filesystem;
    const fs::file_status status = fs::symlink_status(link_);
    if (fs::exists(status) && !fs::is_symlink(status)) {
      throw std::runtime_error(link_ + " exists and is not a symlink");
    }
    const fs::path temp = link_ + ".tmp" + std::to_string(::getpid());
    fs::create_symlink(target_, temp);
    fs::rename(temp, link_);
  }
  ~ScopedLink() {
    std::error_code ec;
    if (std::filesystem::read_symlink(link_, ec) == target_) {
      std::filesystem::remove(link_, ec);
    }
  }
  ScopedLink(const ScopedLink&) = delete;
  ScopedLink& operator=(const ScopedLink&) = delete;

 private:
  const std::string link_;
  const std::string target_;
};

// Waits until the run ends by itself (true) or a stop signal arrives (false).
bool WaitForEndOrSignal(korvane::sim::Runner& runner, const sigset_t& signals) {
  const timespec tick{0, 20'000'000};
  for (;;) {
    if (runner.Finished()) {
      return true;
    }
    const int sig = ::sigtimedwait(&signals, nullptr, &tick);
    if (sig == SIGINT || sig == SIGTERM) {
      return false;
    }
  }
}

int Run(const ToolOptions& options) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  // Blocked before any thread starts, so only sigtimedwait() sees them.
  ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  std::unique_ptr<korvane::sim::Pty> pty;
  std::unique_ptr<korvane::sim::SerialDevice> device;
  std::unique_ptr<ScopedLink> link;
  korvane::sim::Line* line = nullptr;
  if (options.pty) {
    pty = korvane::sim::Pty::Open();
    line = pty.get();
    if (!options.link.empty()) {
      link = std::make_unique<ScopedLink>(options.link, pty->SlavePath());
    }
    std::cout << pty->SlavePath() << std::endl;
  } else {
    device = korvane::sim::SerialDevice::Open(options.device);
    line = device.get();
  }

  korvane::sim::Runner runner(
      *line, korvane::sim::MakeScenario(options.scenario, options.scenario_options),
      options.runner);
  runner.Start();
  const bool ended = WaitForEndOrSignal(runner, signals);
  if (ended && pty) {
    pty->WaitDrained(options.drain);
  }
  runner.Stop();
  link.reset();
  const korvane::sim::RunnerStats stats = runner.Stats();
  std::cerr << kProgram << ": " << stats.frames << " frames, " << stats.valid_frames << " valid, "
            << stats.damaged_frames << " damaged, " << stats.dropped_bytes << " bytes dropped"
            << (stats.line_failed ? ", line failed" : "") << "\n";
  return stats.line_failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const korvane::sim::ToolParse parse = korvane::sim::ParseToolOptions(args);
  if (!parse.error.empty()) {
    std::cerr << kProgram << ": " << parse.error << "\nTry '" << kProgram << " --help'.\n";
    return 2;
  }
  if (parse.options.help) {
    std::cout << korvane::sim::ToolUsage();
    return 0;
  }
  if (parse.options.version) {
    std::cout << korvane::VersionString() << "\n";
    return 0;
  }
  try {
    return Run(parse.options);
  } catch (const std::exception& e) {
    std::cerr << kProgram << ": " << e.what() << "\n";
    return 1;
  }
}
