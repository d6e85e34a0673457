// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/publish/run_watch.h"

#include <algorithm>

namespace korvane::publish {

bool RunWatch::IsDue(const Latest& latest, std::int64_t now_ms) const {
  if (resend_ || latest.sent_state != latest.run.end_state) {
    return true;
  }
  return latest.run.end_state == record::EndState::kInProgress &&
         now_ms - latest.sent_ms >= refresh_ms_;
}

std::vector<record::RunSummary> RunWatch::Due(const record::Store& store, std::int64_t now_ms) {
  // Only runs in progress change; new runs get ids above every one seen.
  std::int64_t newer_than = max_seen_id_;
  for (const std::optional<Latest>& latest : latest_) {
    if (latest && latest->run.end_state == record::EndState::kInProgress) {
      newer_than = std::min(newer_than, latest->run.id - 1);
    }
  }
  const std::vector<record::RunSummary> runs = loaded_ ? store.Runs(newer_than) : store.Runs();
  loaded_ = true;
  std::vector<record::RunSummary> due;
  for (const record::RunSummary& run : runs) {
    max_seen_id_ = std::max(max_seen_id_, run.id);
    if (run.channel < 1 || run.channel > 2) {
      continue;
    }
    std::optional<Latest>& latest = latest_[static_cast<std::size_t>(run.channel - 1)];
    if (latest && run.id == latest->run.id) {
      latest->run = run;
    } else if (!latest || run.id > latest->run.id) {
      // The run it replaces ended since the last look: its end is news of its own.
      if (latest && latest->sent_state && latest->sent_state != latest->run.end_state) {
        due.push_back(latest->run);
      }
      latest = Latest{run, std::nullopt, 0};
    }
  }
  for (const std::optional<Latest>& latest : latest_) {
    if (latest && IsDue(*latest, now_ms)) {
      due.push_back(latest->run);
    }
  }
  resend_ = false;
  return due;
}

void RunWatch::Sent(const record::RunSummary& run, std::int64_t now_ms) {
  std::optional<Latest>& latest = latest_[static_cast<std::size_t>(run.channel - 1)];
  if (latest && latest->run.id == run.id) {
    latest->sent_state = run.end_state;
    latest->sent_ms = now_ms;
  }
}

}  // namespace korvane::publish
