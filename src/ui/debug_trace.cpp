// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/debug_trace.h"

namespace korvane::ui {

void DebugTrace::Line(const std::string& line) {
  std::lock_guard lock(mutex_);
  out_ << line << '\n';
  out_.flush();
}

}  // namespace korvane::ui
