#pragma once

#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

#include "korvane/record/run.h"
#include "korvane/record/store.h"

namespace korvane::record {

// Runs to and from files in the export format (the window's Export Data): the header line, then
// one line per frame with both channels, CR LF, no byte-order mark, texts of the current C
// locale. An exported run can be imported anywhere and exports the same lines again.

// Writes the header and the frames with ids first..last, read from the store in slices, so a
// run of any length needs little memory. Throws StoreError, or std::runtime_error when `out`
// fails.
void ExportFrames(const Store& store, std::int64_t first, std::int64_t last, std::ostream& out);

// The frames of the run's span, its first to its last frame (both channels). Throws
// std::runtime_error when the store has no such run.
void ExportRun(const Store& store, std::int64_t run_id, std::ostream& out);

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
  // local zone of this process.
  std::string timezone;
};

struct ImportResult {
  std::int64_t frames = 0;           // new frames stored
  std::int64_t frames_existing = 0;  // frames already in the store, skipped
  std::vector<RunSummary> runs;      // as stored, in the order they ended
};

// Reads an export file into the store in one transaction: every line or nothing. The frames get
// new ids in file order and are grouped into runs as the recording does; runs still going at the
// end of the file end "Interrupted". The file keeps seconds only: a frame's instant is the start
// of its second (one millisecond later when the text shows 00:00:00, so that it is not taken for
// exact midnight, which the export writes without a time). The file has no temperature unit:
// imported frames are Celsius. A local time that occurs twice (the hour the clocks go back) is
// taken as the first occurrence not before the previous frame.
// Refused (std::runtime_error, nothing written) while a recorder writes a run into the store.
// Throws ImportError for a line that is not in the export format, StoreError for the store.
ImportResult ImportStream(Store& store, std::istream& in, const ImportOptions& options = {});
// Also throws std::runtime_error when the file cannot be opened or read.
ImportResult ImportFile(Store& store, const std::string& path, const ImportOptions& options = {});

}  // namespace korvane::record
