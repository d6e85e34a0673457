// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/web/query.h"

#include <charconv>

namespace korvane::web {
namespace {

constexpr std::int64_t kMaxElapsedMs = 1'000'000'000'000;  // about 31 years

// The parameter's value when given; a name given twice is refused, not guessed at.
std::optional<std::string> Value(const QueryParams& params, const std::string& name) {
  const auto [first, last] = params.equal_range(name);
  if (first == last) {
    return std::nullopt;
  }
  if (std::next(first) != last) {
    throw QueryError(name + " is given more than once");
  }
  return first->second;
}

std::int64_t Whole(const std::string& name, const std::string& text, std::int64_t low,
                   std::int64_t high) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || at != end || value < low || value > high) {
    throw QueryError(name + "=" + text.substr(0, 40) + " is not a whole number from " +
                     std::to_string(low) + " to " + std::to_string(high));
  }
  return value;
}

std::optional<std::int64_t> Optional(const QueryParams& params, const std::string& name,
                                     std::int64_t low, std::int64_t high) {
  const std::optional<std::string> text = Value(params, name);
  return text ? std::optional(Whole(name, *text, low, high)) : std::nullopt;
}

}  // namespace

std::int64_t ParseRunId(const std::string& text) {
  std::int64_t id = 0;
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, id);
  if (text.empty() || error != std::errc() || at != end || id < 1) {
    throw QueryError("\"" + text.substr(0, 40) + "\" is not a run id (a whole number from 1 up)");
  }
  return id;
}

RunsQuery ParseRunsQuery(const QueryParams& params) {
  RunsQuery query;
  query.channel = static_cast<int>(Optional(params, "channel", 1, 2).value_or(0));
  query.pack = Value(params, "pack").value_or("");
  query.offset = Optional(params, "offset", 0, kMaxElapsedMs).value_or(0);
  query.limit = Optional(params, "limit", 1, RunsQuery::kMaxLimit).value_or(query.limit);
  return query;
}

FramesQuery ParseFramesQuery(const QueryParams& params) {
  FramesQuery query;
  query.from_ms = Optional(params, "from", 0, kMaxElapsedMs);
  query.to_ms = Optional(params, "to", 0, kMaxElapsedMs);
  query.width =
      static_cast<int>(Optional(params, "width", 1, FramesQuery::kMaxWidth).value_or(query.width));
  if (query.from_ms && query.to_ms && *query.from_ms > *query.to_ms) {
    throw QueryError("from=" + std::to_string(*query.from_ms) +
                     " is after to=" + std::to_string(*query.to_ms));
  }
  return query;
}

}  // namespace korvane::web
