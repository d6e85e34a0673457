// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/desktop_notifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>
#include <atomic>

namespace korvane::ui {
namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kAppName = "Korvane Connect";
constexpr const char* kIconName = "korvane-connect";  // the installed icon and desktop entry
constexpr int kFinishedTimeoutMs = 15000;
constexpr int kStayUntilClosed = 0;  // a charger fault should not scroll away unseen

}  // namespace

DesktopNotifications::DesktopNotifications(QString bus_address)
    : bus_address_(std::move(bus_address)) {}

DesktopNotifications::~DesktopNotifications() {
  if (!connection_name_.isEmpty()) {
    QDBusConnection::disconnectFromBus(connection_name_);
  }
}

QDBusConnection DesktopNotifications::Bus() {
  if (bus_address_.isEmpty()) {
    return QDBusConnection::sessionBus();
  }
  if (connection_name_.isEmpty()) {
    static std::atomic<int> serial{0};
    connection_name_ = QString("korvane-notify-%1").arg(++serial);
  } else if (QDBusConnection bus(connection_name_); bus.isConnected()) {
    return bus;
  } else {
    // The bus went away: the name is freed so that the next connection can take it. A local
    // socket answers at once, so trying again on every call costs nothing.
    QDBusConnection::disconnectFromBus(connection_name_);
  }
  return QDBusConnection::connectToBus(bus_address_, connection_name_);
}

bool DesktopNotifications::Show(const QString& summary, const QString& body, Urgency urgency) {
  QDBusConnection bus = Bus();
  if (!bus.isConnected()) {
    return false;
  }
  const bool critical = urgency == Urgency::kCritical;
  QVariantMap hints;
  hints.insert("urgency", QVariant::fromValue<uchar>(critical ? 2 : 1));
  hints.insert("category", critical ? "device.error" : "device");
  hints.insert("desktop-entry", kIconName);
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, "Notify");
  call << QString(kAppName) << 0u << QString(kIconName) << summary << body << QStringList() << hints
       << (critical ? kStayUntilClosed : kFinishedTimeoutMs);
  return bus.send(call);
}

}  // namespace korvane::ui
