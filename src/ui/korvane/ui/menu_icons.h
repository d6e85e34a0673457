// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

namespace korvane::ui {

// The four 16 x 16 menu images, drawn in code.
QIcon SettingsIcon();
QIcon ExportIcon();
QIcon ExitIcon();
QIcon AboutIcon();

}  // namespace korvane::ui
