// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/app/program_info.h"

#ifndef KORVANE_VERSION_MAJOR
#error "the build defines the KORVANE_VERSION_* numbers"
#endif

namespace korvane::app {

ProgramVersion CurrentVersion() {
  return ProgramVersion{KORVANE_VERSION_MAJOR, KORVANE_VERSION_MINOR, KORVANE_VERSION_RELEASE,
                        KORVANE_VERSION_BUILD};
}

std::string VersionString(const ProgramVersion& version) {
  std::string text = std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
                     std::to_string(version.release);
  if (version.build != 0) {
    text += "." + std::to_string(version.build);
  }
  return text;
}

}  // namespace korvane::app
