// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

class QDialog;
class QMainWindow;
class QScreen;
class QWidget;

namespace korvane::ui {

// What a window wants and where it may go. Sizes are in device-independent pixels (what
// QWidget::resize takes); the available area is in device pixels, as the screen has them.
struct FitRequest {
  QSize window;                    // without the frame
  QMargins frame;                  // title bar and borders around it
  QRect available;                 // the screen less its panels, in device pixels
  qreal device_pixel_ratio = 1.0;  // device pixels per device-independent pixel
  int scroll_bar = 0;              // thickness of a scroll bar
};

struct ScreenFit {
  QSize size;            // without the frame; never larger than the window wants plus bars
  QPoint position;       // of the frame: centred, never above or left of the area
  bool scrolls = false;  // smaller than the window on some axis: its content must scroll
};

// A window that fits keeps its size and is centred. One that does not takes the available size
// on the axis that overflows, plus room for the scroll bar that axis needs on the other one.
ScreenFit FitToScreen(const FitRequest& request);

// The rule against a real screen (the window's own when null). Creates the native window to
// learn its frame; until a window manager has framed it, the frame is taken as a title bar of
// the style's height.
ScreenFit FitOnScreen(QWidget& window, QSize wanted, QScreen* screen = nullptr);

// A resizable top-level window (the Runs window): resized to `wanted` as far as it fits and
// centred on `screen`, which it is then shown on. A main window whose layout cannot shrink that
// far gets its central widget in a scroll area.
void PlaceOnScreen(QWidget& window, QSize wanted, QScreen* screen);

// A main window fixed at its current size: centred when it fits; otherwise its central widget,
// which keeps its size, moves into a scroll area, and the window takes the available size (the
// user may enlarge it up to everything shown). Call once, at the end of the constructor.
void FitMainWindowOnScreen(QMainWindow& window);

// The same for a dialog fixed at its current size, on its owner's screen: when it does not fit,
// its children and layout move into a scroll area. Call at the end of the constructor; a dialog
// that fits is left alone (Qt centres it over its owner).
void FitDialogOnScreen(QDialog& dialog);

}  // namespace korvane::ui
