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

namespace {

using korvane::sim::ToolOptions;

constexpr const char* kProgram = "korvane-charger-sim";

// Points `link` at `target`, replacing an existing symlink (never another kind of file).
void MakeLink(const std::string& link, const std::string& target) {
  namespace fs = std::filesystem;
  const fs::path path(link);
  if (fs::exists(fs::symlink_status(path)) && !fs::is_symlink(fs::symlink_status(path))) {
    throw std::runtime_error(link + " exists and is not a symlink");
  }
  const fs::path temp = path.string() + ".tmp" + std::to_string(::getpid());
  fs::create_symlink(target, temp);
  fs::rename(temp, path);
}

void RemoveLink(const std::string& link, const std::string& target) {
  std::error_code ec;
  if (std::filesystem::read_symlink(link, ec) == target) {
    std::filesystem::remove(link, ec);
  }
}

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
  korvane::sim::Line* line = nullptr;
  if (options.pty) {
    pty = korvane::sim::Pty::Open();
    line = pty.get();
    if (!options.link.empty()) {
      MakeLink(options.link, pty->SlavePath());
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
  if (pty && !options.link.empty()) {
    RemoveLink(options.link, pty->SlavePath());
  }
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
  try {
    return Run(parse.options);
  } catch (const std::exception& e) {
    std::cerr << kProgram << ": " << e.what() << "\n";
    return 1;
  }
}
