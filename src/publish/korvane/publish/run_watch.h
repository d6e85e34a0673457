// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "korvane/record/run.h"
#include "korvane/record/store.h"

namespace korvane::publish {

// Decides which run messages are due: a channel's run when it begins, every refresh interval
// while it goes on, and when it ends; after ResendAll each channel's latest run once more (a
// new connection, whose broker may have lost the retained message).
class RunWatch {
 public:
  explicit RunWatch(std::chrono::milliseconds refresh = std::chrono::minutes(1))
      : refresh_ms_(refresh.count()) {}

  // Reads the runs that may have changed from `store`; returns the messages due, in order (a run
  // that ended comes before the next run of its channel). Throws record::StoreError.
  std::vector<record::RunSummary> Due(const record::Store& store, std::int64_t now_ms);

  // Marks a returned run as sent at `now_ms`.
  void Sent(const record::RunSummary& run, std::int64_t now_ms);

  void ResendAll() { resend_ = true; }

  // Starts over on another file, whose run ids begin anew.
  void Forget() {
    latest_ = {};
    max_seen_id_ = 0;
    loaded_ = false;
    resend_ = true;
  }

 private:
  struct Latest {
    record::RunSummary run;
    std::optional<record::EndState> sent_state;  // nullopt: never sent
    std::int64_t sent_ms = 0;
  };
  bool IsDue(const Latest& latest, std::int64_t now_ms) const;

  const std::int64_t refresh_ms_;
  std::array<std::optional<Latest>, 2> latest_;
  std::int64_t max_seen_id_ = 0;
  bool loaded_ = false;
  bool resend_ = true;
};

}  // namespace korvane::publish
