// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/sim/line.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace korvane::sim {
namespace {

constexpr long long kRetrySliceMs = 10;

}  // namespace

WriteReport WriteWithin(int fd, std::string_view bytes, std::chrono::milliseconds max_wait,
                        int wake_fd) {
  using Clock = std::chrono::steady_clock;
  WriteReport report;
  if (fd < 0) {
    report.failed = true;
    return report;
  }
  const Clock::time_point deadline = Clock::now() + max_wait;
  while (report.written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + report.written, bytes.size() - report.written);
    if (n > 0) {
      report.written += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      report.failed = true;
      break;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      break;
    }
    pollfd fds[2] = {{fd, POLLOUT, 0}, {wake_fd, POLLIN, 0}};
    // A pty master is not always woken when room appears (its input moving on to the slave's
    // queue), so the write is retried after a short slice even without POLLOUT.
    const int slice = static_cast<int>(std::min<long long>(left, kRetrySliceMs));
    const int ready = ::poll(fds, wake_fd >= 0 ? 2 : 1, slice);
    if (ready < 0 && errno != EINTR) {
      report.failed = true;
      break;
    }
    if (wake_fd >= 0 && (fds[1].revents & POLLIN) != 0) {
      report.woken = true;
      break;
    }
    if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
      report.failed = true;
      break;
    }
  }
  return report;
}

}  // namespace korvane::sim
