// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/run_notifier.h"

#include "notify/desktop_notifications.h"
#include "notify/event_sound.h"
#include "notify/run_end_notice.h"

namespace korvane::ui {

RunNotifier::RunNotifier(const NotifySettings& settings, bool sound, QString bus_address,
                         QObject* parent)
    : QObject(parent) {
  if (settings.Enabled) {
    notifications_ = std::make_unique<DesktopNotifications>(std::move(bus_address));
  }
  if (sound) {
    sound_ = std::make_unique<EventSound>();
  }
}

RunNotifier::~RunNotifier() = default;

bool RunNotifier::RunEnded(const record::RunSummary& run) {
  const std::optional<RunEndNotice> notice = NoticeForRunEnd(run);
  if (!notice) {
    return false;
  }
  if (notifications_) {
    notifications_->Show(QString::fromStdString(notice->summary),
                         QString::fromStdString(notice->body),
                         notice->error ? DesktopNotifications::Urgency::kCritical
                                       : DesktopNotifications::Urgency::kNormal);
  }
  if (sound_) {
    if (notice->error) {
      sound_->Play("dialog-warning", notice->Line());
    } else {
      sound_->Play("complete", notice->Line());
    }
  }
  return true;
}

}  // namespace korvane::ui
