// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/fonts.h"

#include <QFile>
#include <QFontDatabase>

namespace korvane::ui {
namespace {

// Only the regular face: Wine's bold file draws no heavier than the regular one, while Qt's
// emboldening of the regular face gives a true bold.
constexpr const char* kTahomaFile = "/usr/share/wine/fonts/tahoma.ttf";

bool& Registered() {
  static bool registered = false;
  return registered;
}

}  // namespace

void RegisterTahoma() {
  if (Registered()) {
    return;
  }
  Registered() = true;
  if (QFile::exists(kTahomaFile)) {
    QFontDatabase::addApplicationFont(kTahomaFile);
  }
}

QString UiFontFamily() {
  RegisterTahoma();
  const QStringList families = QFontDatabase::families();
  for (const char* family : {"Tahoma", "Liberation Sans", "DejaVu Sans Condensed"}) {
    if (families.contains(family)) {
      return family;
    }
  }
  return "Sans Serif";
}

QFont UiFont(int pixel_size, bool bold) {
  QFont font(UiFontFamily());
  font.setPixelSize(pixel_size);
  font.setBold(bold);
  font.setStyleStrategy(QFont::PreferAntialias);
  return font;
}

}  // namespace korvane::ui
