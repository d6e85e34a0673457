// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/settings_dialog.h"

#include <QComboBox>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <utility>

#include "korvane/link/port_map.h"
#include "korvane/ui/fonts.h"
#include "korvane/ui/screen_fit.h"
#include "korvane/ui/version.h"

namespace korvane::ui {
namespace {

QLabel* FormLabel(QWidget* parent, const QString& text, int x, int y, int w) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(x, y, w, 16);
  return label;
}

constexpr int kRescanMs = 1500;
constexpr int kPortRole = Qt::UserRole;

QString DeviceToolTip(const link::SerialDevice& device) {
  QStringList lines{QString::fromStdString(device.path)};
  if (!device.by_id.empty()) {
    lines << "by-id: " + QString::fromStdString(device.by_id);
  }
  if (!device.manufacturer.empty()) {
    lines << "Maker: " + QString::fromStdString(device.manufacturer);
  }
  if (!device.product.empty()) {
    lines << "Product: " + QString::fromStdString(device.product);
  }
  if (device.port == 0) {
    lines << "No port number reaches it: map one in the settings file, section [PORTS]";
  }
  return lines.join('\n');
}

// Two lines: number, device and USB strings; then the by-id name. Each elided to `width`.
QString DeviceItemText(const link::SerialDevice& device, const QFontMetrics& metrics, int width) {
  QString first = device.port > 0 ? QString("COM%1").arg(device.port) : QString("(no number)");
  first += "  " + QString::fromStdString(device.path).section('/', -1);
  const QString usb = QString::fromStdString(device.manufacturer + " " + device.product).trimmed();
  if (!usb.isEmpty()) {
    first += "  " + usb;
  }
  QString text = metrics.elidedText(first, Qt::ElideRight, width);
  if (!device.by_id.empty()) {
    text += '\n' + metrics.elidedText(QString::fromStdString(device.by_id), Qt::ElideMiddle, width);
  }
  return text;
}

QComboBox* DropDownList(QWidget* parent, const char* name, int x, int y) {
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  box->setEditable(false);
  box->setGeometry(x, y, 145, 24);
  return box;
}

}  // namespace

TFormSettings::TFormSettings(const link::PortMap& ports, QWidget* owner, link::SerialRoots roots)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                         Qt::MSWindowsFixedSizeDialogHint),
      ports_(ports),
      roots_(std::move(roots)) {
  setObjectName("FormSettings");
  setWindowTitle(QString(kApplicationTitle) + " Settings");
  setFont(UiFont(13));
  setFixedSize(265, 310);

  FormLabel(this, "Comm Port:", 16, 24, 69)->setObjectName("Label1");
  FormLabel(this, "Channel:", 16, 64, 69)->setObjectName("Label2");
  port_box_ = DropDownList(this, "ComboBoxCommPort", 104, 20);
  channel_box_ = DropDownList(this, "ComboBoxChannel", 104, 60);
  for (int port = 1; port <= link::PortMap::kMaxPort; ++port) {
    port_box_->addItem(QString::number(port));
  }
  channel_box_->addItems({"1", "2"});
  port_box_->setCurrentIndex(-1);
  channel_box_->setCurrentIndex(-1);

  device_ = new QLabel(this);
  device_->setObjectName("LabelDevice");
  device_->setFont(UiFont(10));
  device_->setGeometry(104, 45, 145, 14);
  QPalette grey = device_->palette();
  grey.setColor(QPalette::WindowText, QColor(0x40, 0x40, 0x40));
  device_->setPalette(grey);

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("BitBtn1");
  ok->setGeometry(56, 104, 91, 25);
  ok->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("BitBtn2");
  cancel->setGeometry(160, 104, 89, 25);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(port_box_, &QComboBox::currentIndexChanged, this, [this] { ShowDevice(); });

  FormLabel(this, "Serial devices present:", 16, 140, 233)->setObjectName("LabelSerialDevices");
  device_list_ = new QListWidget(this);
  device_list_->setObjectName("ListSerialDevices");
  device_list_->setFont(UiFont(10));
  device_list_->setGeometry(16, 158, 233, 92);
  device_list_->setTextElideMode(Qt::ElideNone);  // the items are elided line by line
  connect(device_list_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
    const int port = item != nullptr ? item->data(kPortRole).toInt() : 0;
    if (port > 0) {
      port_box_->setCurrentIndex(port - 1);
    }
  });

  failure_ = new QLabel(this);
  failure_->setObjectName("LabelOpenFailure");
  failure_->setFont(UiFont(10));
  failure_->setGeometry(16, 256, 233, 44);
  failure_->setWordWrap(true);
  failure_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  QPalette red = failure_->palette();
  red.setColor(QPalette::WindowText, QColor(0xB0, 0x00, 0x00));
  failure_->setPalette(red);

  auto* rescan = new QTimer(this);
  connect(rescan, &QTimer::timeout, this, &TFormSettings::RescanDevices);
  rescan->start(kRescanMs);

  setTabOrder(ok, cancel);
  setTabOrder(cancel, port_box_);
  setTabOrder(port_box_, channel_box_);
  setTabOrder(channel_box_, device_list_);
  RescanDevices();
  ShowDevice();
  FitDialogOnScreen(*this);
}

void TFormSettings::Select(int port_index, int channel_index) {
  port_box_->setCurrentIndex(port_index >= 0 && port_index < port_box_->count() ? port_index : -1);
  channel_box_->setCurrentIndex(
      channel_index >= 0 && channel_index < channel_box_->count() ? channel_index : -1);
  ShowDevice();
}

void TFormSettings::ShowOpenFailure(int port_index, const QString& reason) {
  failed_index_ = port_index;
  failure_reason_ = reason;
  ShowFailure();
}

void TFormSettings::RescanDevices() {
  ShowDevicePath();
  std::vector<link::SerialDevice> devices = link::ListSerialDevices(ports_, roots_);
  if (devices == devices_ && device_list_->count() > 0) {
    return;  // unchanged: keep the list as the user left it
  }
  devices_ = std::move(devices);
  ShowDeviceList();
}

int TFormSettings::PortIndex() const {
  return port_box_->currentIndex();
}

int TFormSettings::ChannelIndex() const {
  return channel_box_->currentIndex();
}

void TFormSettings::ShowDevice() {
  ShowDevicePath();
  SelectListedPort();
  ShowFailure();
}

void TFormSettings::ShowDevicePath() {
  const int index = port_box_->currentIndex();
  if (index < 0) {
    device_->clear();
    device_->setToolTip({});
    return;
  }
  const QString path = QString::fromStdString(ports_.DevicePath(index + 1));
  QString text;
  if (path.isEmpty()) {
    text = "no device for this number";
  } else {
    text = path + (QFileInfo::exists(path) ? " (present)" : " (not present)");
  }
  device_->setToolTip(text);
  device_->setText(
      QFontMetrics(device_->font()).elidedText(text, Qt::ElideMiddle, device_->width()));
}

void TFormSettings::ShowDeviceList() {
  const QSignalBlocker quiet(device_list_);
  device_list_->clear();
  const QFontMetrics metrics(device_list_->font());
  const int width = device_list_->width() - 24;  // frame, margins and a scroll bar
  for (const link::SerialDevice& device : devices_) {
    auto* item = new QListWidgetItem(DeviceItemText(device, metrics, width), device_list_);
    item->setToolTip(DeviceToolTip(device));
    item->setData(kPortRole, device.port);
    if (device.port == 0) {
      item->setFlags(Qt::ItemIsEnabled);  // nothing to choose: no number reaches it
    }
  }
  if (devices_.empty()) {
    auto* none = new QListWidgetItem("none found", device_list_);
    none->setFlags(Qt::NoItemFlags);
  }
  SelectListedPort();
}

void TFormSettings::SelectListedPort() {
  const QSignalBlocker quiet(device_list_);
  const int port = port_box_->currentIndex() + 1;
  for (int row = 0; row < device_list_->count(); ++row) {
    if (port > 0 && device_list_->item(row)->data(kPortRole).toInt() == port) {
      device_list_->setCurrentRow(row);
      return;
    }
  }
  device_list_->setCurrentRow(-1);
}

void TFormSettings::ShowFailure() {
  const bool shown = failed_index_ >= 0 && port_box_->currentIndex() == failed_index_;
  failure_->setText(shown ? failure_reason_ : QString());
  failure_->setToolTip(shown ? failure_reason_ : QString());
}

}  // namespace korvane::ui
