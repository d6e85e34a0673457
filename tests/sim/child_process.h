#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "korvane/sim/unique_fd.h"

namespace korvane::sim::testing {

// A program with stdout and stderr on pipes; killed and reaped if still running at the end.
class ChildProcess {
 public:
  explicit ChildProcess(std::vector<std::string> argv) {
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
      return;
    }
    out_.Reset(out[0]);
    err_.Reset(err[0]);
    const UniqueFd out_write(out[1]);
    const UniqueFd err_write(err[1]);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    ::posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<char*> args;
    for (std::string& a : argv) {
      args.push_back(a.data());
    }
    args.push_back(nullptr);
    if (::posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) {
      pid_ = -1;
    }
    ::posix_spawn_file_actions_destroy(&actions);
  }
  ~ChildProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  void Signal(int sig) const { ::kill(pid_, sig); }

  // The next line on stdout, without its newline.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout) {
    std::size_t nl;
    while ((nl = out_text_.find('\n')) == std::string::npos) {
      if (!ReadSome(out_, out_text_, timeout)) {
        return std::nullopt;
      }
    }
    std::string line = out_text_.substr(0, nl);
    out_text_.erase(0, nl + 1);
    return line;
  }

  // Collects the rest of both outputs and the exit code; nullopt if it does not end in time.
  std::optional<int> Wait(std::chrono::milliseconds timeout) {
    while (ReadSome(out_, out_text_, timeout) || ReadSome(err_, err_text_, timeout)) {
    }
    int status = 0;
    if (out_.Valid() || err_.Valid() || ::waitpid(pid_, &status, 0) != pid_) {
      return std::nullopt;
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  const std::string& Stdout() const { return out_text_; }
  const std::string& Stderr() const { return err_text_; }

 private:
  // False at end of file (the pipe is then closed) or when nothing came in time.
  static bool ReadSome(UniqueFd& fd, std::string& text, std::chrono::milliseconds timeout) {
    pollfd p{fd.Get(), POLLIN, 0};
    if (!fd.Valid() || ::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) {
      return false;
    }
    char buffer[4096];
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n <= 0) {
      fd.Reset();
      return false;
    }
    text.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  UniqueFd out_;
  UniqueFd err_;
  std::string out_text_;
  std::string err_text_;
};

}  // namespace korvane::sim::testing
