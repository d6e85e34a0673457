// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

namespace korvane::app {

// Larger files are not settings files: they are neither parsed nor overwritten.
inline constexpr std::size_t kMaxSettingsFileSize = 64u << 20;

struct FileContents {
  enum class Status { kRead, kMissing, kFailed };
  Status status = Status::kMissing;
  std::string bytes;
  std::string reason;  // why kFailed: an errno text or korvane::fileio::kNotRegularFile
};

// Reads a whole regular file of at most `limit` bytes, following symbolic links. Never blocks
// on a FIFO or a device and never throws.
FileContents ReadRegularFile(const std::string& path, std::size_t limit = kMaxSettingsFileSize);

// Creates `path` and its missing parents. True when it is a folder afterwards.
bool MakeDirectories(const std::string& path);

}  // namespace korvane::app
