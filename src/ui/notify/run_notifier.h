// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "korvane/record/run.h"
#include "korvane/ui/app_services.h"

namespace korvane::ui {

class DesktopNotifications;
class EventSound;

// Tells the user that a recorded run has ended: a desktop notification (unless the settings
// turn them off) and, with the DOSOUND switch, the theme's "complete" or "dialog-warning"
// sound. Only finished runs and errors are told. UI thread only.
class RunNotifier : public QObject {
  Q_OBJECT

 public:
  // `bus_address` empty: the user's session bus.
  RunNotifier(const NotifySettings& settings, bool sound, QString bus_address = {},
              QObject* parent = nullptr);
  ~RunNotifier() override;

  // Returns whether the run was one to tell (finished or error).
  bool RunEnded(const record::RunSummary& run);

  EventSound* Sound() const { return sound_.get(); }

 private:
  std::unique_ptr<DesktopNotifications> notifications_;  // null when turned off
  std::unique_ptr<EventSound> sound_;                    // null without the switch
};

}  // namespace korvane::ui
