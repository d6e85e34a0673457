// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace korvane::record::detail {

// The instants (seconds since the epoch) a local date-time can stand for, earliest first: none
// where the clocks skip it, two where they repeat it.
struct LocalInstants {
  std::array<std::int64_t, 2> at{};
  std::size_t count = 0;
};

// A time zone to read local date-times in. It never changes TZ, so a process with other threads
// may use one; one object is used by one thread at a time.
class LocalZone {
 public:
  // "": the process's zone (TZ, as localtime_r sees it); else an IANA name looked up in the
  // system's time zone database. Throws std::invalid_argument naming an unknown zone.
  explicit LocalZone(const std::string& name);
  ~LocalZone();
  LocalZone(const LocalZone&) = delete;
  LocalZone& operator=(const LocalZone&) = delete;

  // `wall`: the local date-time's fields counted as if they were UTC (timegm).
  LocalInstants Instants(std::int64_t wall) const;
  // For messages: "Europe/Berlin", or "the local time zone".
  std::string Name() const;

 private:
  struct Named;
  std::unique_ptr<Named> named_;
  std::string name_;
};

}  // namespace korvane::record::detail
