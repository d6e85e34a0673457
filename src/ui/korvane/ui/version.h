// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "korvane/version.h"

namespace korvane::ui {

using korvane::kApplicationTitle;
using korvane::ProgramVersion;

inline ProgramVersion ReadProgramVersion() {
  return kVersion;
}

// The title followed by " <major>.<minor>".
QString MainCaption(const ProgramVersion& version);

// "Version <major>.<minor>.<release> (Build <build>)".
QString VersionText(const ProgramVersion& version);

}  // namespace korvane::ui
