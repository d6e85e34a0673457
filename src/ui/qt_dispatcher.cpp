// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/qt_dispatcher.h"

namespace korvane::ui {

void QtUiDispatcher::Posted() {
  // Queued: runs on this object's thread. Dropped if the object is gone by then, which is safe
  // because the queue fails every waiting hand-off when it shuts down.
  QMetaObject::invokeMethod(
      this, [this] { Drain(); }, Qt::QueuedConnection);
}

}  // namespace korvane::ui
