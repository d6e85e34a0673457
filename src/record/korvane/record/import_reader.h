// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

#include "korvane/model/record.h"

namespace korvane::record {

// Reading an export file back (the window's Export Data, a run export): the header line, then
// one line per frame with both channels, texts of the current C locale. Touches no store.

// A line of an imported file that cannot be read back. what() names the line; Line() is
// 1-based (the header is line 1).
class ImportError : public std::runtime_error {
 public:
  ImportError(std::int64_t line, const std::string& reason);
  std::int64_t Line() const { return line_; }

 private:
  std::int64_t line_;
};

struct ImportOptions {
  // The IANA time zone the file's local times were written in ("Europe/Berlin"); empty: the
  // local zone of this process (TZ).
  std::string timezone;
  // The pack the imported runs belong to; 0: none.
  std::int64_t pack_id = 0;
};

// Throws std::invalid_argument naming `name` when the system's time zone database has no such
// zone. Safe on any thread: it never changes TZ.
void CheckTimeZone(const std::string& name);

// The file's frames in file order. The file keeps seconds only: a frame's instant is the start
// of its second (one millisecond later when the text shows 00:00:00, so that it is not taken for
// exact midnight, which the export writes without a time). The file has no temperature unit:
// the frames are Celsius. A local time that occurs twice (the hour the clocks go back) is taken
// as the first occurrence not before the previous frame.
// Throws ImportError for a line that is not in the export format, for a local time that does
// not exist in the zone (the hour the clocks skip) and for a time before the previous line's;
// std::invalid_argument for an unknown zone; std::runtime_error when `in` fails to read.
std::vector<model::S_HARDWARE_DATA> ReadExport(std::istream& in, const ImportOptions& options = {});

}  // namespace korvane::record
