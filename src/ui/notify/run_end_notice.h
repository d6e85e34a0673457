// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "korvane/record/run.h"

namespace korvane::ui {

// What the desktop is told when a recorded run ends. No Qt here: the texts are tested alone.
struct RunEndNotice {
  // "Channel 1: charge finished (CC-CV)", "Channel 2: error"; a run of a pack is named by its
  // pack instead: "Blue 4S #3: charge finished (CC-CV)".
  std::string summary;
  std::string body;  // "2.204 Ah in 1 h 12 m", "TOO HOT"
  bool error = false;

  // The notice on one line: "<summary> - <body>".
  std::string Line() const { return body.empty() ? summary : summary + " - " + body; }
};

// The notice for a run that ended finished or in an error; nothing for one in progress or
// interrupted or stopped (the user stopped it or the recording ended: nothing to tell). The
// capacity uses the decimal separator of the current C locale.
std::optional<RunEndNotice> NoticeForRunEnd(const record::RunSummary& run);

}  // namespace korvane::ui
