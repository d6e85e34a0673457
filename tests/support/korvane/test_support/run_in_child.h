// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>
#include <functional>
#include <optional>
#include <string>

namespace korvane::test_support {

// The ordinary user ("nobody") a test acts as: root may write any file, so tests of what a user
// may not do need another account.
inline constexpr uid_t kNobody = 65534;

// The message `action` throws in a forked child, as kNobody when `as_nobody`: "" when it returns,
// nothing when the child has not finished within ten seconds (it is then killed), so that a hang
// fails the test instead of stopping the run.
inline std::optional<std::string> ErrorInChild(const std::function<void()>& action,
                                               bool as_nobody = false) {
  int channel[2];
  if (::pipe2(channel, O_CLOEXEC) != 0) {
    return "no pipe";
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::string report;
    if (as_nobody &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
      report = "cannot become nobody";
    } else {
      try {
        action();
      } catch (const std::exception& error) {
        report = error.what();
      }
    }
    // One short write as the child ends: the parent's first wake-up has the whole report.
    const ssize_t sent = ::write(channel[1], report.data(), report.size());
    ::_exit(sent == static_cast<ssize_t>(report.size()) ? 0 : 1);
  }
  ::close(channel[1]);
  std::optional<std::string> report;
  pollfd ready{channel[0], POLLIN, 0};
  if (pid > 0 && ::poll(&ready, 1, 10000) == 1) {
    char buffer[4096];
    const ssize_t got = ::read(channel[0], buffer, sizeof buffer);
    report = std::string(buffer, got > 0 ? static_cast<std::size_t>(got) : 0);
  } else if (pid > 0) {
    ::kill(pid, SIGKILL);
  }
  ::close(channel[0]);
  int status = 0;
  if (pid > 0 && ::waitpid(pid, &status, 0) == pid && report && WIFEXITED(status) &&
      WEXITSTATUS(status) == 0) {
    return report;
  }
  return report ? std::optional<std::string>("the child failed") : std::nullopt;
}

}  // namespace korvane::test_support
