// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include "korvane/link/ui_dispatcher.h"

namespace korvane::ui {

// Hand-offs from the acquisition thread, run on the Qt event loop of the thread that created
// this object. A wait in THardwareThread::WaitFor serves them without the loop.
class QtUiDispatcher final : public QObject, public link::HandOffQueue {
  Q_OBJECT

 public:
  explicit QtUiDispatcher(QObject* parent = nullptr) : QObject(parent) {}

 protected:
  void Posted() override;
};

}  // namespace korvane::ui
