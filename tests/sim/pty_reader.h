// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

#include "korvane/sim/unique_fd.h"

namespace korvane::sim::testing {

// The receiving end of a pty, as a test opens it.
class SlaveReader {
 public:
  explicit SlaveReader(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}

  bool Opened() const { return fd_.Valid(); }
  int Fd() const { return fd_.Get(); }
  const std::string& Received() const { return received_; }

  // Reads until `done(received)` holds, the line hangs up or the deadline passes.
  bool ReadUntil(const std::function<bool(const std::string&)>& done,
                 std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done(received_)) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
              .count();
      if (left <= 0) {
        return false;
      }
      pollfd p{fd_.Get(), POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) {
        continue;
      }
      char buffer[1024];
      const ssize_t n = ::read(fd_.Get(), buffer, sizeof buffer);
      if (n > 0) {
        received_.append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        return done(received_);
      }
    }
    return true;
  }

  bool ReadBytes(std::size_t count, std::chrono::milliseconds timeout) {
    return ReadUntil([count](const std::string& r) { return r.size() >= count; }, timeout);
  }

 private:
  UniqueFd fd_;
  std::string received_;
};

}  // namespace korvane::sim::testing
