// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "korvane/record/run.h"
#include "korvane/record/store.h"

namespace korvane::publish {

// Decides which run messages are due: a channel's run when it begins, every refresh interval
// while it goes on, when its pack changes while it goes on, and when it ends; after ResendAll
// each channel's latest run once more (a new connection, whose broker may have lost the
// retained message). Also knows the pack of the run that holds a frame, for the telemetry.
class RunWatch {
 public:
  explicit RunWatch(std::chrono::milliseconds refresh = std::chrono::minutes(1))
      : refresh_ms_(refresh.count()) {}

  // Reads the runs that may have changed from `store`: those in progress and the new ones. A
  // frame and its run are committed together, so after a Read the runs hold every frame read
  // from the store before it. Throws record::StoreError.
  void Read(const record::Store& store);
  // The messages due after the Reads so far, in order (a run that ended comes before the next
  // run of its channel).
  std::vector<record::RunSummary> Due(std::int64_t now_ms);
  std::vector<record::RunSummary> Due(const record::Store& store, std::int64_t now_ms) {
    Read(store);
    return Due(now_ms);
  }

  // The name of the pack of the channel's (1 or 2) run that holds frame `frame_id`, as of the
  // last Read; empty when no run holds it or its run has no pack. A pack given to a run after
  // it ended is not seen.
  std::string_view PackAt(int channel, std::int64_t frame_id) const;

  // Marks a returned run as sent at `now_ms`.
  void Sent(const record::RunSummary& run, std::int64_t now_ms);

  void ResendAll() { resend_ = true; }

  // Starts over on another file, whose run ids begin anew.
  void Forget() {
    latest_ = {};
    ended_.clear();
    packs_ = {};
    max_seen_id_ = 0;
    loaded_ = false;
    resend_ = true;
  }

 private:
  struct Latest {
    record::RunSummary run;
    std::optional<record::EndState> sent_state;  // nullopt: never sent
    std::int64_t sent_ms = 0;
    std::int64_t sent_pack = 0;
  };
  // The frames of a run that has a pack: its last frame and the pack's name.
  struct PackSpan {
    std::int64_t last_frame = 0;
    std::string pack;
  };
  bool IsDue(const Latest& latest, std::int64_t now_ms) const;

  const std::int64_t refresh_ms_;
  std::array<std::optional<Latest>, 2> latest_;
  std::vector<record::RunSummary> ended_;  // ends seen by Read, not yet returned by Due
  // Per channel, by the run's first frame; only runs with a pack.
  std::array<std::map<std::int64_t, PackSpan>, 2> packs_;
  std::int64_t max_seen_id_ = 0;
  bool loaded_ = false;
  bool resend_ = true;
};

}  // namespace korvane::publish
