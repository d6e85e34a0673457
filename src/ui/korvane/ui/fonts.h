// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QString>

namespace korvane::ui {

// Makes the Tahoma face from the Wine font folder known to Qt (fontconfig does not search
// that folder). Safe to call repeatedly; needs a QGuiApplication.
void RegisterTahoma();

// The window's face: Tahoma when available, otherwise a sans face of similar width.
QString UiFontFamily();

// The face at a pixel size.
QFont UiFont(int pixel_size, bool bold = false);

}  // namespace korvane::ui
