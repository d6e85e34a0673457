#pragma once

#include <string>
#include <string_view>

namespace korvane::model {

// Replaces a regular file (or creates it) so that it either keeps its old contents or holds all
// of `contents`: the text goes to a temporary file in the same folder, which is synced, closed
// and renamed over the target. An existing file keeps its permission bits; a symbolic link is
// followed. A target that exists but is not a regular file, such as a device, is written in
// place. Throws std::runtime_error naming the file and the reason; no temporary file is left.
void ReplaceFileContents(const std::string& file_name, std::string_view contents);

}  // namespace korvane::model
