// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/logger/store_repair.h"

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "korvane/record/salvage.h"

namespace korvane::logger {
namespace {

// "5, 7 to 9 (4 ids)": the ranges and how many ids they hold.
std::string Ranges(const std::vector<record::IdRange>& ranges) {
  std::string text;
  std::int64_t ids = 0;
  for (const record::IdRange& range : ranges) {
    text += (text.empty() ? "" : ", ") + std::to_string(range.first);
    if (range.last != range.first) {
      text += " to " + std::to_string(range.last);
    }
    ids += range.last - range.first + 1;
  }
  return text + " (" + std::to_string(ids) + (ids == 1 ? " id)" : " ids)");
}

// "1 run", "2 runs".
std::string Counted(std::int64_t n, const std::string& noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

void Flush(std::ostream& out) {
  out.flush();
  if (!out) {
    throw std::runtime_error("cannot write to standard output");
  }
}

}  // namespace

int CheckStoreFile(const std::string& store_path, std::ostream& out) {
  const record::StoreCheck check = record::CheckStore(store_path, kCheckFindings);
  if (check.findings.empty()) {
    out << store_path << " is sound: " << Counted(check.runs, "run") << ", "
        << Counted(check.frames, "frame") << "\n";
    Flush(out);
    return 0;
  }
  out << store_path << " is damaged:\n";
  for (const std::string& finding : check.findings) {
    std::string indented;
    for (const char c : finding) {
      indented += c;
      if (c == '\n') {
        indented += "  ";
      }
    }
    out << "  " << indented << "\n";
  }
  if (check.more) {
    out << "  (more findings not shown)\n";
  }
  if (check.opened) {
    out << "Copy what it still holds into a new file: korvane-log salvage " << store_path
        << " --store NEW\n";
  }
  Flush(out);
  return 1;
}

void SalvageStoreFile(const std::string& damaged, const std::string& target, std::ostream& out) {
  const record::SalvageResult result = record::Salvage(damaged, target);
  out << "copied " << Counted(result.frames, "frame") << " and " << Counted(result.runs, "run")
      << " of " << damaged << " into " << target << "\n";
  if (!result.lost_frames.empty()) {
    out << "could not read frames " << Ranges(result.lost_frames) << "\n";
  }
  if (!result.lost_runs.empty()) {
    out << "could not read runs " << Ranges(result.lost_runs) << "\n";
  }
  if (!result.runs_missing_frames.empty()) {
    out << "runs missing frames:";
    for (std::size_t i = 0; i < result.runs_missing_frames.size(); ++i) {
      out << (i == 0 ? " " : ", ") << result.runs_missing_frames[i];
    }
    out << "\n";
  }
  if (result.frames_searched_to) {
    out << "the highest frame id could not be read: frames were looked for up to id "
        << *result.frames_searched_to << "\n";
  }
  if (result.lost_frames.empty() && result.lost_runs.empty() && !result.frames_searched_to) {
    out << "every run and frame could be read\n";
  }
  Flush(out);
}

}  // namespace korvane::logger
