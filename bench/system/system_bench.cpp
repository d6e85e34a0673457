// SPDX-License-Identifier: GPL-3.0-or-later
#include "system_bench.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "korvane/sim/pty.h"
#include "korvane/sim/runner.h"
#include "korvane/sim/scenario.h"

extern char** environ;

namespace korvane::bench {
namespace fs = std::filesystem;

double MonotonicMs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "korvane-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "mkdtemp");
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string TempDir::MakeFolder(const std::string& relative) const {
  const fs::path folder = fs::path(path_) / relative;
  fs::create_directories(folder);
  fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace);
  return folder.string();
}

void WriteTextFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out.flush()) {
    throw std::runtime_error("cannot write " + path);
  }
}

int CountOpenDescriptors(pid_t pid, const std::string& path) {
  int count = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
    std::error_code link_ec;
    if (fs::read_symlink(entry.path(), link_ec).string() == path) {
      ++count;
    }
  }
  return count;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The command name may hold spaces; the fields after it are counted from its closing ')'.
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) {
    throw std::runtime_error("no /proc stat for " + std::to_string(pid));
  }
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  unsigned long long utime = 0;
  unsigned long long stime = 0;
  // Fields 3.. follow; utime is field 14 and stime 15 (1-based, as in proc(5)).
  for (int index = 3; index <= 15 && (fields >> field); ++index) {
    if (index == 14) {
      utime = std::stoull(field);
    } else if (index == 15) {
      stime = std::stoull(field);
    }
  }
  return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

long StatusKb(pid_t pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.starts_with(field + ":")) {
      return std::stol(line.substr(field.size() + 1));
    }
  }
  return -1;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& env, bool capture_stdout) {
  std::map<std::string, std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::size_t eq = text.find('=');
    if (eq != std::string::npos) {
      merged[text.substr(0, eq)] = text.substr(eq + 1);
    }
  }
  for (const auto& [key, value] : env) {
    merged[key] = value;
  }
  std::vector<std::string> env_texts;
  for (const auto& [key, value] : merged) {
    env_texts.push_back(key + "=" + value);
  }
  std::vector<char*> env_ptrs;
  for (std::string& text : env_texts) {
    env_ptrs.push_back(text.data());
  }
  env_ptrs.push_back(nullptr);
  std::vector<std::string> args = argv;
  std::vector<char*> arg_ptrs;
  for (std::string& arg : args) {
    arg_ptrs.push_back(arg.data());
  }
  arg_ptrs.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  int pipe_fds[2] = {-1, -1};
  if (capture_stdout) {
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
      throw std::system_error(errno, std::generic_category(), "pipe2");
    }
    ::posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  }
  const int error =
      ::posix_spawn(&pid_, arg_ptrs[0], &actions, nullptr, arg_ptrs.data(), env_ptrs.data());
  ::posix_spawn_file_actions_destroy(&actions);
  if (capture_stdout) {
    ::close(pipe_fds[1]);
    stdout_fd_ = pipe_fds[0];
  }
  if (error != 0) {
    if (stdout_fd_ >= 0) {
      ::close(stdout_fd_);
    }
    throw std::system_error(error, std::generic_category(), "posix_spawn " + argv.front());
  }
}

ChildProcess::~ChildProcess() {
  if (!reaped_ && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (stdout_fd_ >= 0) {
    ::close(stdout_fd_);
  }
}

bool ChildProcess::Running() {
  if (reaped_) {
    return false;
  }
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) == pid_) {
    reaped_ = true;
    exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return false;
  }
  return true;
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
  if (!WaitUntil([this] { return !Running(); }, timeout)) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    reaped_ = true;
    exit_code_ = -1;
  }
  return exit_code_;
}

int ChildProcess::Terminate(std::chrono::milliseconds timeout) {
  if (Running()) {
    ::kill(pid_, SIGTERM);
  }
  return Wait(timeout);
}

std::string ChildProcess::ReadAllStdout(std::chrono::milliseconds timeout) {
  std::string text;
  char buffer[4096];
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd readable{stdout_fd_, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) == 0) {
      break;  // a child that hangs gives what it wrote so far
    }
    const ssize_t n = ::read(stdout_fd_, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  return text;
}

void WriteProgramSettings(const std::string& config_home, const std::string& device, unsigned mask,
                          Recording recording, const std::string& recording_file) {
  const fs::path folder = fs::path(config_home) / "Korvane Connect";
  fs::create_directories(folder);
  std::string text = "[GLOBAL]\nCommPort=1\nChannel=1\nChartValuesMask=" + std::to_string(mask) +
                     "\n[PORTS]\nCOM1=" + device + "\n";
  if (recording == Recording::kOff) {
    text += "[RECORDING]\nEnabled=0\n";
  } else if (recording == Recording::kToFile) {
    text += "[RECORDING]\nEnabled=1\nFile=" + recording_file + "\n";
  }
  WriteTextFile((folder / "korvane-connect.ini").string(), text);
}

std::map<std::string, std::string> ProgramEnvironment(const TempDir& dir) {
  return {{"QT_QPA_PLATFORM", "offscreen"},
          {"XDG_CONFIG_HOME", dir.MakeFolder("config")},
          {"XDG_RUNTIME_DIR", dir.MakeFolder("runtime")},
          {"XDG_DATA_HOME", dir.MakeFolder("data")},
          {"HOME", dir.MakeFolder("home")}};
}

std::string ProgramPath() {
  return KORVANE_CONNECT_PATH;
}

ProgramUnderTest::ProgramUnderTest(unsigned mask, Recording recording) : pty_(sim::Pty::Open()) {
  const auto env = ProgramEnvironment(dir_);
  WriteProgramSettings(env.at("XDG_CONFIG_HOME"), pty_->SlavePath(), mask, recording,
                       RecordingFile());
  child_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{ProgramPath(), "-NOPROMPTONCLOSE"}, env);
  // The program's open purges what was queued before it: feed only once the port is open.
  if (!WaitUntil([this] { return CountOpenDescriptors(Pid(), pty_->SlavePath()) > 0; },
                 std::chrono::seconds(20))) {
    throw std::runtime_error("the program did not open " + pty_->SlavePath());
  }
}

ProgramUnderTest::~ProgramUnderTest() {
  runner_.reset();
}

sim::Runner& ProgramUnderTest::Feed(const sim::RunnerOptions& options) {
  runner_.reset();
  runner_ = std::make_unique<sim::Runner>(
      *pty_, sim::MakeScenario(sim::ScenarioKind::kChargeDischarge, sim::ScenarioOptions{}),
      options);
  runner_->Start();
  return *runner_;
}

bool ProgramUnderTest::WaitDrained(std::chrono::milliseconds timeout) const {
  return pty_->WaitDrained(timeout);
}

std::size_t ProgramUnderTest::DroppedBytes() const {
  return pty_->DroppedBytes();
}

int ProgramUnderTest::Stop() {
  runner_.reset();
  return child_->Terminate(std::chrono::seconds(20));
}

double Median(std::vector<double> values) {
  return Percentile(std::move(values), 50);
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) {
    return NAN;
  }
  std::sort(values.begin(), values.end());
  const auto rank =
      static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(values.size())));
  return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

void PrintFigure(const std::string& name, double value, int decimals) {
  std::printf("%s: %.*f\n", name.c_str(), decimals, value);
  std::fflush(stdout);
}

void PrintNote(const std::string& text) {
  std::printf("# %s\n", text.c_str());
  std::fflush(stdout);
}

}  // namespace korvane::bench
