// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/record/run.h"

namespace korvane::record {

const char* RunKindWord(int kind) {
  switch (kind) {
    case kRunCharge:
      return "charge";
    case kRunDischarge:
      return "discharge";
    case kRunBoth:
      return "cycle";
    default:
      return "";
  }
}

const char* EndStateWord(EndState state) {
  switch (state) {
    case EndState::kInProgress:
      return "in progress";
    case EndState::kFinished:
      return "finished";
    case EndState::kError:
      return "error";
    case EndState::kInterrupted:
      return "interrupted";
    case EndState::kStopped:
      return "stopped";
  }
  return "unknown";
}

}  // namespace korvane::record
