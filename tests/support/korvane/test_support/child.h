// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "korvane/test_support/wait.h"

namespace korvane::test_support {

// The texts as the null-terminated array exec and posix_spawn take; valid while `texts` lives.
inline std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) {
    pointers.push_back(text.data());
  }
  pointers.push_back(nullptr);
  return pointers;
}

// The current environment with `changes` ("NAME=value") replacing or adding variables.
inline std::vector<std::string> Environment(const std::vector<std::string>& changes = {}) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('=') + 1);
    if (std::none_of(changes.begin(), changes.end(),
                     [&](const std::string& c) { return c.starts_with(name); })) {
      env.push_back(text);
    }
  }
  env.insert(env.end(), changes.begin(), changes.end());
  return env;
}

// A program (`argv[0]` searched in PATH) in a process of its own with environment `env`, its
// standard output and error written to the file `log`; `inherited_fd` stays open in it. Killed
// when the test process dies. One thread uses an object.
class Child {
 public:
  Child(std::vector<std::string> argv, std::vector<std::string> env, const std::string& log,
        int inherited_fd = -1) {
    std::vector<char*> args = Pointers(argv);
    std::vector<char*> vars = Pointers(env);
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      ::signal(SIGPIPE, SIG_DFL);  // a test may ignore it; the child must not inherit that
      ::dup2(out, STDOUT_FILENO);
      ::dup2(out, STDERR_FILENO);
      if (inherited_fd >= 0) {
        ::fcntl(inherited_fd, F_SETFD, 0);
      }
      ::execvpe(args[0], args.data(), vars.data());
      ::_exit(127);
    }
    ::close(out);
  }
  // Asks a child still running to end (an X server then removes its socket) and kills it if it
  // has not within two seconds.
  ~Child() {
    Signal(SIGTERM);
    Wait(std::chrono::seconds(2));
    if (Running()) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status_, 0);
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t Pid() const { return pid_; }
  bool Running() {
    if (!ended_ && pid_ > 0 && ::waitpid(pid_, &status_, WNOHANG) == pid_) {
      ended_ = true;
    }
    return !ended_ && pid_ > 0;
  }
  // The exit code, once it has exited normally.
  std::optional<int> ExitCode() {
    if (Running() || !ended_ || !WIFEXITED(status_)) {
      return std::nullopt;
    }
    return WEXITSTATUS(status_);
  }
  // Sends a signal to a child still running.
  void Signal(int signal_number) {
    if (Running()) {
      ::kill(pid_, signal_number);
    }
  }
  // Waits up to `timeout` for the child to end; then as ExitCode().
  std::optional<int> Wait(std::chrono::milliseconds timeout) {
    WaitUntil([&] { return !Running(); }, timeout);
    return ExitCode();
  }

 private:
  pid_t pid_ = -1;
  int status_ = 0;
  bool ended_ = false;
};

}  // namespace korvane::test_support
