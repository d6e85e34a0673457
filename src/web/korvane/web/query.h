// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>

namespace korvane::web {

// A request's query, as the HTTP library decoded it.
using QueryParams = std::multimap<std::string, std::string>;

// A value the request may not have: the server answers 400 with what() as the error.
class QueryError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// A run id from a path: a whole number from 1 up.
std::int64_t ParseRunId(const std::string& text);

struct RunsQuery {
  int channel = 0;   // 0: both
  std::string pack;  // empty: any
  std::int64_t offset = 0;
  std::int64_t limit = 50;
  static constexpr std::int64_t kMaxLimit = 1000;
};
RunsQuery ParseRunsQuery(const QueryParams& params);

struct FramesQuery {
  std::optional<std::int64_t> from_ms;  // elapsed within the run; nothing: its start / end
  std::optional<std::int64_t> to_ms;
  int width = 1000;
  static constexpr int kMaxWidth = 10000;
};
// from and to: 0 up to 10^12 ms, from not after to; width 1..10000.
FramesQuery ParseFramesQuery(const QueryParams& params);

}  // namespace korvane::web
