// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "korvane/version.h"

namespace korvane::app {

using korvane::kApplicationTitle;
using korvane::ProgramVersion;
using korvane::VersionString;

// The version the program was built as (the build system's project version).
inline ProgramVersion CurrentVersion() {
  return kVersion;
}

}  // namespace korvane::app
