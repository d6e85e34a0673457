// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/screen_fit.h"

#include <QDialog>
#include <QLayout>
#include <QMainWindow>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <cmath>

namespace korvane::ui {
namespace {

QMargins FrameOf(QWidget& window) {
  // Creates the native window: a platform that frames windows itself says how, once there is one.
  static_cast<void>(window.winId());
  const QMargins known = window.windowHandle()->frameMargins();
  if (!known.isNull() || window.windowFlags().testFlag(Qt::FramelessWindowHint)) {
    return known;
  }
  // Not framed yet: the window manager frames it once shown.
  return {0, window.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window), 0, 0};
}

int ScrollBarExtent(const QWidget& window) {
  return window.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &window);
}

// `scroll_bar`: 0 for a window whose layout follows its size, so nothing scrolls.
ScreenFit FitWithBars(QWidget& window, QSize wanted, QScreen* screen, int scroll_bar) {
  if (screen == nullptr) {
    screen = window.screen();
  }
  if (screen == nullptr) {
    return {.size = wanted, .position = window.pos(), .scrolls = false};
  }
  const QRect area = screen->availableGeometry();
  const qreal ratio = screen->devicePixelRatio();
  return FitToScreen(
      {.window = wanted,
       .frame = FrameOf(window),
       .available = QRect(qRound(area.x() * ratio), qRound(area.y() * ratio),
                          qRound(area.width() * ratio), qRound(area.height() * ratio)),
       .device_pixel_ratio = ratio,
       .scroll_bar = scroll_bar});
}

// The content keeps its size, or its minimum size if it has a layout; the window around it
// may now be smaller.
QScrollArea* ScrollingArea(QWidget* window, QWidget* content) {
  auto* area = new QScrollArea(window);
  area->setObjectName("ScreenFitScroll");
  area->setFrameShape(QFrame::NoFrame);
  area->setWidgetResizable(true);
  area->setWidget(content);
  return area;
}

void ShrinkTo(QWidget& window, QSize wanted, const ScreenFit& fit) {
  window.setMinimumSize(0, 0);
  window.setMaximumSize(wanted.expandedTo(fit.size));
  window.resize(fit.size);
}

}  // namespace

ScreenFit FitToScreen(const FitRequest& request) {
  const qreal ratio = request.device_pixel_ratio > 0 ? request.device_pixel_ratio : 1.0;
  const QRect& area = request.available;
  // Whole device-independent pixels inside the area: its edges are rounded inward.
  const int left = static_cast<int>(std::ceil(area.left() / ratio));
  const int top = static_cast<int>(std::ceil(area.top() / ratio));
  const int width = static_cast<int>(std::floor((area.left() + area.width()) / ratio)) - left;
  const int height = static_cast<int>(std::floor((area.top() + area.height()) / ratio)) - top;
  const QMargins& frame = request.frame;
  const QSize room(std::max(1, width - frame.left() - frame.right()),
                   std::max(1, height - frame.top() - frame.bottom()));

  const bool too_wide = request.window.width() > room.width();
  const bool too_tall = request.window.height() > room.height();
  QSize size = request.window;
  if (too_wide) {
    size.rheight() += request.scroll_bar;
  }
  if (too_tall) {
    size.rwidth() += request.scroll_bar;
  }
  size = size.boundedTo(room);
  const QSize outer = size.grownBy(frame);
  return {.size = size,
          .position = QPoint(left + std::max(0, (width - outer.width()) / 2),
                             top + std::max(0, (height - outer.height()) / 2)),
          .scrolls = too_wide || too_tall};
}

ScreenFit FitOnScreen(QWidget& window, QSize wanted, QScreen* screen) {
  return FitWithBars(window, wanted, screen, ScrollBarExtent(window));
}

void PlaceOnScreen(QWidget& window, QSize wanted, QScreen* screen) {
  if (screen != nullptr) {
    window.setScreen(screen);
  }
  const ScreenFit fit = FitWithBars(window, wanted, screen, 0);
  auto* main = qobject_cast<QMainWindow*>(&window);
  if (main != nullptr && main->centralWidget() != nullptr &&
      main->minimumSizeHint().boundedTo(fit.size) != main->minimumSizeHint()) {
    // Its layout cannot shrink that far: the central widget scrolls instead.
    main->setCentralWidget(ScrollingArea(main, main->takeCentralWidget()));
  }
  window.resize(fit.size);
  window.move(fit.position);
}

void FitMainWindowOnScreen(QMainWindow& window) {
  const QSize wanted = window.size();
  const ScreenFit fit = FitOnScreen(window, wanted);
  if (fit.scrolls) {
    window.layout()->setSizeConstraint(QLayout::SetDefaultConstraint);
    window.setCentralWidget(ScrollingArea(&window, window.takeCentralWidget()));
    ShrinkTo(window, wanted, fit);
  }
  window.move(fit.position);
}

void FitDialogOnScreen(QDialog& dialog) {
  const QWidget* owner = dialog.parentWidget();
  const QSize wanted = dialog.size();
  const ScreenFit fit = FitOnScreen(dialog, wanted, owner != nullptr ? owner->screen() : nullptr);
  if (!fit.scrolls) {
    return;
  }
  auto* content = new QWidget;
  content->setObjectName(dialog.objectName() + "Content");
  if (QLayout* own = dialog.layout()) {
    content->setLayout(own);  // taken from the dialog
  }
  for (QWidget* child : dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (!child->isWindow()) {
      child->setParent(content);  // keeps its place; shown with the content unless hidden
    }
  }
  content->setMinimumSize(wanted);
  auto* box = new QVBoxLayout(&dialog);
  box->setContentsMargins(0, 0, 0, 0);
  box->addWidget(ScrollingArea(&dialog, content));
  ShrinkTo(dialog, wanted, fit);
}

}  // namespace korvane::ui
