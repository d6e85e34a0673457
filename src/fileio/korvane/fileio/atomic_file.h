// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace korvane::fileio {

// The reason given for a target that exists but is not a regular file (or a folder, which gets
// the errno text "Is a directory").
inline constexpr const char* kNotRegularFile = "Not a regular file";

// Where the uses of WriteFileAtomically differ. The defaults are the strict ones.
struct AtomicWriteOptions {
  // An existing character device (a terminal, /dev/null, /dev/full) is written in place, not
  // refused.
  bool write_character_devices = false;
  // When no temporary file can be created beside an existing target (a folder the user may not
  // write) but the target opens for writing, it is truncated and written in place, as a shell
  // redirect would. A write that then fails leaves it incomplete.
  bool write_in_place_without_temporary = false;
};

// Replaces the file at `path` so that it holds either its old contents or all of `bytes`: a
// temporary file in the same folder is written, synced and renamed over it, then the folder is
// synced. A symbolic link is kept and the file it ends at written. An existing file keeps its
// permission bits and, when root writes it, its owner; a new one gets 0666 less the umask.
//
// A target the caller may not open for writing is left alone, however writable its folder, and
// so is one that is not a regular file (but see the options). Nothing blocks on the target: a
// FIFO is refused before it is opened and every open is non-blocking.
//
// On failure no temporary file remains and std::runtime_error carries the reason only (an errno
// text or kNotRegularFile), for the caller to name the file.
void WriteFileAtomically(const std::string& path, std::string_view bytes,
                         const AtomicWriteOptions& options = {});

}  // namespace korvane::fileio
