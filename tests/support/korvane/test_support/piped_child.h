// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "korvane/test_support/child.h"
#include "korvane/test_support/wait.h"

namespace korvane::test_support {

// A program (`argv[0]` a path) with its standard output and error on pipes, in the test's
// environment with `env_changes` ("NAME=value"). Killed and reaped at the end of the scope if
// still running. One thread uses an object.
class PipedChild {
 public:
  explicit PipedChild(std::vector<std::string> argv,
                      const std::vector<std::string>& env_changes = {}) {
    std::vector<std::string> env = Environment(env_changes);
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
      return;
    }
    out_ = out[0];
    err_ = err[0];
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    std::vector<char*> args = Pointers(argv);
    std::vector<char*> vars = Pointers(env);
    if (::posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), vars.data()) != 0) {
      pid_ = -1;
    }
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
  }
  ~PipedChild() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    for (int fd : {out_, err_}) {
      if (fd >= 0) {
        ::close(fd);
      }
    }
  }
  PipedChild(const PipedChild&) = delete;
  PipedChild& operator=(const PipedChild&) = delete;

  bool Started() const { return pid_ > 0; }
  void Signal(int number) const {
    if (pid_ > 0) {
      ::kill(pid_, number);
    }
  }

  // Reads both outputs until `done()` holds; false when the deadline passes first or both
  // outputs have ended without it.
  bool ReadUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = WaitClock::now() + timeout;
    while (!done()) {
      if (!ReadSome(deadline)) {
        return done();
      }
    }
    return true;
  }

  // The next line of standard output not returned yet, without its newline.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout) {
    if (!ReadUntil([&] { return out_text_.find('\n', line_start_) != std::string::npos; },
                   timeout)) {
      return std::nullopt;
    }
    const std::size_t end = out_text_.find('\n', line_start_);
    std::string line = out_text_.substr(line_start_, end - line_start_);
    line_start_ = end + 1;
    return line;
  }

  // Collects the rest of both outputs and the exit status (128 + signal when killed); nothing
  // when the program does not end in time.
  std::optional<int> Wait(std::chrono::milliseconds timeout) {
    const auto deadline = WaitClock::now() + timeout;
    while (ReadSome(deadline)) {
    }
    int status = 0;
    if (out_ >= 0 || err_ >= 0 || pid_ <= 0 ||
        !WaitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, deadline)) {
      return std::nullopt;
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  const std::string& Out() const { return out_text_; }
  const std::string& Err() const { return err_text_; }

 private:
  // One read from whichever output has data; false once both have ended or at the deadline.
  bool ReadSome(WaitClock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - WaitClock::now());
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if ((out_ < 0 && err_ < 0) ||
        ::poll(fds, 2, static_cast<int>(std::max<long long>(left.count(), 0))) <= 0) {
      return false;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) {
        continue;
      }
      char buffer[65536];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      int& fd = i == 0 ? out_ : err_;
      if (n <= 0) {
        ::close(fd);
        fd = -1;
      } else {
        (i == 0 ? out_text_ : err_text_).append(buffer, static_cast<std::size_t>(n));
      }
    }
    return true;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string out_text_;
  std::string err_text_;
  std::size_t line_start_ = 0;
};

}  // namespace korvane::test_support
