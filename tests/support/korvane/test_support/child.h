#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace korvane::test_support {

// The current environment with `changes` ("NAME=value") replacing or adding variables.
std::vector<std::string> Environment(const std::vector<std::string>& changes = {});

// A program (`argv[0]` searched in PATH) in a process of its own with environment `env`, its
// standard output and error written to the file `log`; `inherited_fd` stays open in it. Killed
// when the test process dies. One thread uses an object.
class Child {
 public:
  Child(std::vector<std::string> argv, std::vector<std::string> env, const std::string& log,
        int inherited_fd = -1);
  // Asks a child still running to end (an X server then removes its socket) and kills it if it
  // has not within two seconds.
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t Pid() const { return pid_; }
  bool Running();
  // The exit code, once it has exited normally.
  std::optional<int> ExitCode();
  // Sends a signal to a child still running.
  void Signal(int signal_number);
  // Waits up to `timeout` for the child to end; then as ExitCode().
  std::optional<int> Wait(std::chrono::milliseconds timeout);

 private:
  pid_t pid_ = -1;
  int status_ = 0;
  bool ended_ = false;
};

}  // namespace korvane::test_support
