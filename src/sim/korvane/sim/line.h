// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <string_view>

namespace korvane::sim {

struct WriteReport {
  std::size_t written = 0;  // bytes the line accepted: always a prefix of what was offered
  bool failed = false;      // the line is closed or broken; nothing more goes out
  bool woken = false;       // the wait for room was cut short by the wake descriptor
};

// The charger's transmit side. A charger never waits for its receiver: bytes that find no room
// within the allowed wait are dropped, as on a real serial line, and show up as `written` falling
// short of the offered size.
class Line {
 public:
  virtual ~Line() = default;

  // Writes `bytes` in order, waiting at most `max_wait` in total for room. When `wake_fd` is not
  // -1 and becomes readable, the wait ends at once (used to stop promptly).
  virtual WriteReport Send(std::string_view bytes, std::chrono::milliseconds max_wait,
                           int wake_fd) = 0;
};

// Send() for a non-blocking descriptor.
WriteReport WriteWithin(int fd, std::string_view bytes, std::chrono::milliseconds max_wait,
                        int wake_fd);

}  // namespace korvane::sim
