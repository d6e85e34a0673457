// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QString>
#include <vector>

#include "korvane/link/serial_devices.h"

class QComboBox;
class QLabel;
class QListWidget;

namespace korvane::link {
class PortMap;
}

namespace korvane::ui {

// The modal dialog for the COM port number (1..99) and the charger channel (1..2). It stores
// nothing: the caller selects the current values before showing it and reads them after OK.
// Under the port list it tells which device the selected number means and whether it exists.
// Below the buttons it lists the serial devices present (kept current while it is open; choosing
// one selects its number) and why the configured port failed to open.
class TFormSettings : public QDialog {
  Q_OBJECT

 public:
  TFormSettings(const link::PortMap& ports, QWidget* owner, link::SerialRoots roots = {});

  // Indexes as in the lists: port number - 1, channel - 1; -1 is no selection.
  void Select(int port_index, int channel_index);
  int PortIndex() const;
  int ChannelIndex() const;
  // Why the configured port (`port_index` as in the list) failed to open; shown while that port
  // is selected. Empty clears it.
  void ShowOpenFailure(int port_index, const QString& reason);
  // Reads the devices present, and whether the selected number's device is, again; a timer does
  // it every 1.5 s.
  void RescanDevices();

  QComboBox* ComboBoxCommPort() const { return port_box_; }
  QComboBox* ComboBoxChannel() const { return channel_box_; }
  QLabel* DeviceLabel() const { return device_; }
  QListWidget* DeviceList() const { return device_list_; }
  QLabel* OpenFailureLabel() const { return failure_; }

 private:
  void ShowDevice();
  void ShowDevicePath();
  void ShowDeviceList();
  void SelectListedPort();
  void ShowFailure();

  const link::PortMap& ports_;
  const link::SerialRoots roots_;
  QComboBox* port_box_;
  QComboBox* channel_box_;
  QLabel* device_;
  QListWidget* device_list_;
  QLabel* failure_;
  std::vector<link::SerialDevice> devices_;
  int failed_index_ = -1;
  QString failure_reason_;
};

}  // namespace korvane::ui
