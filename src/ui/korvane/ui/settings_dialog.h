#pragma once

#include <QDialog>

class QComboBox;
class QLabel;

namespace korvane::link {
class PortMap;
}

namespace korvane::ui {

// The modal dialog for the COM port number (1..99) and the charger channel (1..2). It stores
// nothing: the caller selects the current values before showing it and reads them after OK.
// Under the port list it tells which device the selected number means and whether it exists.
class TFormSettings : public QDialog {
  Q_OBJECT

 public:
  TFormSettings(const link::PortMap& ports, QWidget* owner);

  // Indexes as in the lists: port number - 1, channel - 1; -1 is no selection.
  void Select(int port_index, int channel_index);
  int PortIndex() const;
  int ChannelIndex() const;

  QComboBox* ComboBoxCommPort() const { return port_box_; }
  QComboBox* ComboBoxChannel() const { return channel_box_; }
  QLabel* DeviceLabel() const { return device_; }

 private:
  void ShowDevice();

  const link::PortMap& ports_;
  QComboBox* port_box_;
  QComboBox* channel_box_;
  QLabel* device_;
};

}  // namespace korvane::ui
