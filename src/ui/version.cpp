// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/version.h"

namespace korvane::ui {

ProgramVersion ReadProgramVersion() {
  return ProgramVersion{KORVANE_VERSION_MAJOR, KORVANE_VERSION_MINOR, KORVANE_VERSION_RELEASE,
                        KORVANE_VERSION_BUILD};
}

QString MainCaption(const ProgramVersion& version) {
  return QString("%1 %2.%3").arg(kApplicationTitle).arg(version.Major).arg(version.Minor);
}

QString VersionText(const ProgramVersion& version) {
  return QString("Version %1.%2.%3 (Build %4)")
      .arg(version.Major)
      .arg(version.Minor)
      .arg(version.Release)
      .arg(version.Build);
}

}  // namespace korvane::ui
