// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/version.h"

namespace korvane::ui {

QString MainCaption(const ProgramVersion& version) {
  return QString("%1 %2.%3").arg(kApplicationTitle).arg(version.major).arg(version.minor);
}

QString VersionText(const ProgramVersion& version) {
  return QString("Version %1.%2.%3 (Build %4)")
      .arg(version.major)
      .arg(version.minor)
      .arg(version.release)
      .arg(version.build);
}

}  // namespace korvane::ui
