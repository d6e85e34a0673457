// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/web/run_json.h"

#include "korvane/publish/messages.h"

namespace korvane::web {

std::string RunJson(const record::RunSummary& run, const std::string& store_identity) {
  return publish::RunJson(run, store_identity);  // a dump: one line
}

std::string RunArrayJson(const std::vector<record::RunSummary>& runs,
                         const std::string& store_identity) {
  if (runs.empty()) {
    return "[]\n";
  }
  std::string text = "[\n";
  for (const record::RunSummary& run : runs) {
    text += RunJson(run, store_identity);
    text += &run == &runs.back() ? "\n]\n" : ",\n";
  }
  return text;
}

std::string RunPageJson(const std::vector<record::RunSummary>& page, std::int64_t total,
                        std::int64_t offset, const std::string& store_identity) {
  std::string text = "{\"total\":" + std::to_string(total) +
                     ",\"offset\":" + std::to_string(offset) + ",\"runs\":[";
  for (const record::RunSummary& run : page) {
    text += RunJson(run, store_identity);
    if (&run != &page.back()) {
      text += ',';
    }
  }
  return text + "]}";
}

}  // namespace korvane::web
