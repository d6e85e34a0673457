// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/publish/run_watch.h"

#include <algorithm>

namespace korvane::publish {

bool RunWatch::IsDue(const Latest& latest, std::int64_t now_ms) const {
  if (resend_ || latest.sent_state != latest.run.end_state ||
      latest.sent_pack != latest.run.pack_id) {
    return true;
  }
  return latest.run.end_state == record::EndState::kInProgress &&
         now_ms - latest.sent_ms >= refresh_ms_;
}

void RunWatch::Read(const record::Store& store) {
  // Only runs in progress change; new runs get ids above every one seen.
  std::int64_t newer_than = max_seen_id_;
  for (const std::optional<Latest>& latest : latest_) {
    if (latest && latest->run.end_state == record::EndState::kInProgress) {
      newer_than = std::min(newer_than, latest->run.id - 1);
    }
  }
  const std::vector<record::RunSummary> runs = loaded_ ? store.Runs(newer_than) : store.Runs();
  loaded_ = true;
  for (const record::RunSummary& run : runs) {
    max_seen_id_ = std::max(max_seen_id_, run.id);
    if (run.channel < 1 || run.channel > 2) {
      continue;
    }
    const auto index = static_cast<std::size_t>(run.channel - 1);
    if (run.pack_name.empty()) {
      packs_[index].erase(run.first_frame);
    } else {
      packs_[index].insert_or_assign(run.first_frame, PackSpan{run.last_frame, run.pack_name});
    }
    std::optional<Latest>& latest = latest_[index];
    if (latest && run.id == latest->run.id) {
      latest->run = run;
    } else if (!latest || run.id > latest->run.id) {
      // The run it replaces ended since the last look: its end is news of its own.
      if (latest && latest->sent_state && latest->sent_state != latest->run.end_state) {
        ended_.push_back(latest->run);
      }
      latest = Latest{run, std::nullopt, 0, 0};
    }
  }
}

std::vector<record::RunSummary> RunWatch::Due(std::int64_t now_ms) {
  std::vector<record::RunSummary> due = std::move(ended_);
  ended_.clear();
  for (const std::optional<Latest>& latest : latest_) {
    if (latest && IsDue(*latest, now_ms)) {
      due.push_back(latest->run);
    }
  }
  resend_ = false;
  return due;
}

std::string_view RunWatch::PackAt(int channel, std::int64_t frame_id) const {
  if (channel < 1 || channel > 2) {
    return {};
  }
  const std::map<std::int64_t, PackSpan>& spans = packs_[static_cast<std::size_t>(channel - 1)];
  auto span = spans.upper_bound(frame_id);
  if (span == spans.begin()) {
    return {};
  }
  --span;
  return frame_id <= span->second.last_frame ? std::string_view(span->second.pack)
                                             : std::string_view();
}

void RunWatch::Sent(const record::RunSummary& run, std::int64_t now_ms) {
  std::optional<Latest>& latest = latest_[static_cast<std::size_t>(run.channel - 1)];
  if (latest && latest->run.id == run.id) {
    latest->sent_state = run.end_state;
    latest->sent_ms = now_ms;
    latest->sent_pack = run.pack_id;
  }
}

}  // namespace korvane::publish
