// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <mutex>
#include <ostream>
#include <string>

namespace korvane::ui {

// One line per link event on a stream (stderr for the DEBUG switch). Lines from the UI thread
// and the acquisition thread never interleave.
class DebugTrace {
 public:
  explicit DebugTrace(std::ostream& out) : out_(out) {}

  void Line(const std::string& line);

 private:
  std::mutex mutex_;
  std::ostream& out_;
};

}  // namespace korvane::ui
