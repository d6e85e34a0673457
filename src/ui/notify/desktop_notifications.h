// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QDBusConnection;

namespace korvane::ui {

// Desktop notifications through the freedesktop notification service
// (org.freedesktop.Notifications on the session bus). Calls are sent without waiting for a
// reply, so the UI thread never blocks on the service; no bus or no service: nothing happens.
class DesktopNotifications {
 public:
  enum class Urgency { kNormal, kCritical };

  // `bus_address` empty: the user's session bus. Nothing connects before the first Show.
  explicit DesktopNotifications(QString bus_address = {});
  ~DesktopNotifications();
  DesktopNotifications(const DesktopNotifications&) = delete;
  DesktopNotifications& operator=(const DesktopNotifications&) = delete;

  // Returns whether the call went out on a bus (not whether a service took it).
  bool Show(const QString& summary, const QString& body, Urgency urgency);

 private:
  QDBusConnection Bus();

  QString bus_address_;
  QString connection_name_;  // our own connection to `bus_address_`, once made
};

}  // namespace korvane::ui
