#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvane::app {

// Larger files are not settings files: they are neither parsed nor overwritten.
inline constexpr std::size_t kMaxSettingsFileSize = 64u << 20;

struct FileContents {
  enum class Status { kRead, kMissing, kFailed };
  Status status = Status::kMissing;
  std::string bytes;
  std::string reason;  // why kFailed: an errno text or "Not a regular file"
};

// Reads a whole regular file of at most `limit` bytes, following symbolic links. Never blocks
// on a FIFO or a device and never throws.
FileContents ReadRegularFile(const std::string& path, std::size_t limit = kMaxSettingsFileSize);

// Replaces the file at `path` so that it holds either its old contents or all of `bytes`: a
// temporary file in the same folder is written, synced and renamed over it. A symbolic link is
// kept and its target replaced; an existing file keeps its permission bits, a new one gets
// 0666 less the umask. A target that is not a regular file is refused. On failure no temporary
// file remains and std::runtime_error carries the reason only (an errno text).
void WriteFileAtomically(const std::string& path, std::string_view bytes);

// Creates `path` and its missing parents. True when it is a folder afterwards.
bool MakeDirectories(const std::string& path);

}  // namespace korvane::app
