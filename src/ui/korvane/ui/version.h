// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace korvane::ui {

inline constexpr const char* kApplicationTitle = "Korvane Connect";

// The program's four version numbers, taken from the build's project version.
struct ProgramVersion {
  int Major = -1;
  int Minor = -1;
  int Release = -1;
  int Build = -1;
};

ProgramVersion ReadProgramVersion();

// The title followed by " <major>.<minor>".
QString MainCaption(const ProgramVersion& version);

// "Version <major>.<minor>.<release> (Build <build>)".
QString VersionText(const ProgramVersion& version);

}  // namespace korvane::ui
