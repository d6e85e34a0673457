// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace korvane::app {

// Caption of the window and the message boxes; names the settings folder and the instance lock.
inline constexpr const char* kApplicationTitle = "Korvane Connect";

struct ProgramVersion {
  int major = 0;
  int minor = 0;
  int release = 0;
  int build = 0;
};

// The version the program was built as (the build system's project version).
ProgramVersion CurrentVersion();

// "1.0.0", or "1.0.0.7" when the build number is not 0.
std::string VersionString(const ProgramVersion& version);

}  // namespace korvane::app
