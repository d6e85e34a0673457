// SPDX-License-Identifier: GPL-3.0-or-later
#include "local_zone.h"

#include <date/tz.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <utility>

// ptz.h of date 3.0.1 names hh_mm_ss unqualified where C++20's std::chrono has one too; this
// declaration makes its lookup unambiguous.
namespace Posix {
using date::hh_mm_ss;
}
#include <date/ptz.h>

namespace korvane::record::detail {
namespace {

constexpr std::int64_t kDaySeconds = 86'400;

// The system's zone files, where the time zone library finds them too.
constexpr const char* kZoneFolder = "/usr/share/zoneinfo/";

std::int64_t UtcOffset(std::int64_t t) {
  const auto time = static_cast<std::time_t>(t);
  std::tm local{};
  localtime_r(&time, &local);
  return local.tm_gmtoff;
}

// The zone's rule for every time after its table of transitions (which the system's files end
// in 2037): the POSIX TZ text on the last line of a zone file of version 2 or later.
std::optional<Posix::time_zone> RuleAfterTable(const std::string& name) {
  std::ifstream in(kZoneFolder + name, std::ios::binary);
  const std::string data{std::istreambuf_iterator<char>(in), {}};
  if (!data.starts_with("TZif") || data.size() < 6 || data[4] == '\0' || data.back() != '\n') {
    return std::nullopt;
  }
  const std::size_t start = data.rfind('\n', data.size() - 2);
  const std::string rule = data.substr(start + 1, data.size() - start - 2);
  try {
    return rule.empty() ? std::nullopt : std::optional<Posix::time_zone>(rule);
  } catch (const std::exception&) {
    return std::nullopt;  // a rule the library cannot read: the table's last offset holds
  }
}

}  // namespace

struct LocalZone::Named {
  const date::time_zone* zone = nullptr;
  std::optional<Posix::time_zone> rule;
};

LocalZone::LocalZone(const std::string& name) : name_(name) {
  if (name.empty()) {
    return;
  }
  named_ = std::make_unique<Named>();
  try {
    named_->zone = date::locate_zone(name);
  } catch (const std::exception&) {
    throw std::invalid_argument("\"" + name +
                                "\" is not a time zone of this system (an IANA name such as "
                                "Europe/Berlin)");
  }
  named_->rule = RuleAfterTable(named_->zone->name());
}

LocalZone::~LocalZone() = default;

std::string LocalZone::Name() const {
  return name_.empty() ? "the local time zone" : name_;
}

LocalInstants LocalZone::Instants(std::int64_t wall) const {
  LocalInstants result;
  if (!named_) {
    // From the offsets in force a day before and a day after, as mktime searches at length for
    // a zone without summer time.
    for (const std::int64_t probe : {wall - kDaySeconds, wall + kDaySeconds}) {
      const std::int64_t t = wall - UtcOffset(probe);
      if ((result.count == 0 || result.at[0] != t) && t + UtcOffset(t) == wall) {
        result.at[result.count++] = t;
      }
    }
    if (result.count == 2 && result.at[1] < result.at[0]) {
      std::swap(result.at[0], result.at[1]);
    }
    return result;
  }
  const date::local_seconds local{std::chrono::seconds{wall}};
  date::local_info info = named_->zone->get_info(local);
  // Past the table's last transition the library keeps that offset for ever; the rule knows
  // the summer times to come.
  constexpr date::sys_seconds kNoEnd = date::sys_days{date::year{9999} / 12 / 31};
  if (named_->rule && info.result == date::local_info::unique && info.first.end > kNoEnd) {
    info = named_->rule->get_info(local);
  }
  if (info.result != date::local_info::nonexistent) {
    result.at[result.count++] = wall - info.first.offset.count();
  }
  if (info.result == date::local_info::ambiguous) {
    result.at[result.count++] = wall - info.second.offset.count();
  }
  return result;
}

}  // namespace korvane::record::detail
