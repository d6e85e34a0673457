// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

namespace korvane::app {

// The program's icon, painted at the usual sizes: the same picture as the installed SVG (an
// upright battery with a charge bolt), which needs no image plug-in at run time.
QIcon ApplicationIcon();

}  // namespace korvane::app
