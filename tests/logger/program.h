#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace korvane::logger::testing {

using std::chrono::milliseconds;

// A program run with its stdout and stderr on pipes and its own environment (the test's, with
// `overrides`). Killed and reaped at the end of the scope if still running.
class Program {
 public:
  Program(const std::vector<std::string>& argv,
          const std::map<std::string, std::string>& overrides) {
    std::map<std::string, std::string> environment = overrides;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string text = *entry;
      const std::size_t equals = text.find('=');
      environment.emplace(text.substr(0, equals),
                          equals == std::string::npos ? "" : text.substr(equals + 1));
    }
    std::vector<std::string> env_text;
    for (const auto& [name, value] : environment) {
      env_text.push_back(name + "=" + value);
    }
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
    std::vector<char*> args;
    std::vector<std::string> argv_copy = argv;
    for (std::string& a : argv_copy) {
      args.push_back(a.data());
    }
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env_text) {
      envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    if (::posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) {
      pid_ = -1;
    } else {
      pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));  // becomes readable at exit
    }
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
  }
  ~Program() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    for (int fd : {out_, err_, pidfd_}) {
      if (fd >= 0) {
        ::close(fd);
      }
    }
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool Started() const { return pid_ > 0 && pidfd_ >= 0; }
  void Signal(int number) const { ::kill(pid_, number); }

  // Reads both outputs until `done()` holds; false when the deadline passes first or both
  // outputs have ended without it.
  bool ReadUntil(const std::function<bool()>& done, milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
      if (!ReadSome(deadline)) {
        return done();
      }
    }
    return true;
  }

  // Collects the rest of both outputs and the exit status (128 + signal when killed); nothing
  // when the program does not end in time.
  std::optional<int> Wait(milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (ReadSome(deadline)) {
    }
    pollfd exited{pidfd_, POLLIN, 0};
    if (out_ >= 0 || err_ >= 0 || ::poll(&exited, 1, Remaining(deadline)) != 1) {
      return std::nullopt;
    }
    int status = 0;
    if (::waitpid(pid_, &status, 0) != pid_) {
      return std::nullopt;
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  const std::string& Out() const { return out_text_; }
  const std::string& Err() const { return err_text_; }

 private:
  static int Remaining(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
  }

  // One read from whichever output has data; false once both have ended or at the deadline.
  bool ReadSome(std::chrono::steady_clock::time_point deadline) {
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if ((out_ < 0 && err_ < 0) || ::poll(fds, 2, Remaining(deadline)) <= 0) {
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
  int pidfd_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string out_text_;
  std::string err_text_;
};

}  // namespace korvane::logger::testing
