// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/run_end_notice.h"

#include <string_view>

#include "runs/run_texts.h"

namespace korvane::ui {
namespace {

const char* KindWord(int kind) {
  const char* word = record::RunKindWord(kind);
  return *word != '\0' ? word : "run";
}

// The charger's own words after the end state's prefix ("Finished: CC-CV" -> "CC-CV").
std::string Detail(std::string_view end_text, std::string_view prefix) {
  return end_text.starts_with(prefix) ? std::string(end_text.substr(prefix.size())) : "";
}

// "45 s" under a minute, "12 m" under an hour, else "1 h 12 m"; negative counts as zero.
std::string ShortDurationText(std::int64_t ms) {
  const std::int64_t seconds = ms > 0 ? ms / 1000 : 0;
  if (seconds < 60) {
    return std::to_string(seconds) + " s";
  }
  const std::int64_t minutes = seconds / 60;
  if (minutes < 60) {
    return std::to_string(minutes) + " m";
  }
  return std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) + " m";
}

}  // namespace

std::optional<RunEndNotice> NoticeForRunEnd(const record::RunSummary& run) {
  // The pack tells the user which battery to take off; without one, the channel does.
  const std::string subject =
      (run.pack_name.empty() ? "Channel " + std::to_string(run.channel) : run.pack_name) + ": ";
  switch (run.end_state) {
    case record::EndState::kFinished: {
      RunEndNotice notice;
      notice.summary = subject + KindWord(run.kind) + " finished";
      if (const std::string detail = Detail(run.end_text, "Finished: "); !detail.empty()) {
        notice.summary += " (" + detail + ")";
      }
      notice.body =
          FixedText(run.capacity_mah / 1000.0, 3) + " Ah in " + ShortDurationText(run.DurationMs());
      return notice;
    }
    case record::EndState::kError: {
      RunEndNotice notice;
      notice.summary = subject + "error";
      notice.body = Detail(run.end_text, "Error: ");
      notice.error = true;
      return notice;
    }
    case record::EndState::kInProgress:
    case record::EndState::kInterrupted:
    case record::EndState::kStopped:
      break;
  }
  return std::nullopt;
}

}  // namespace korvane::ui
