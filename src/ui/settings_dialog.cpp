#include "korvane/ui/settings_dialog.h"

#include <QComboBox>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

#include "korvane/link/port_map.h"
#include "korvane/ui/fonts.h"
#include "korvane/ui/version.h"

namespace korvane::ui {
namespace {

QLabel* FormLabel(QWidget* parent, const QString& text, int x, int y, int w) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(x, y, w, 16);
  return label;
}

QComboBox* DropDownList(QWidget* parent, const char* name, int x, int y) {
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  box->setEditable(false);
  box->setGeometry(x, y, 145, 24);
  return box;
}

}  // namespace

TFormSettings::TFormSettings(const link::PortMap& ports, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                         Qt::MSWindowsFixedSizeDialogHint),
      ports_(ports) {
  setObjectName("FormSettings");
  setWindowTitle(QString(kApplicationTitle) + " Settings");
  setFont(UiFont(13));
  setFixedSize(265, 145);

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

  setTabOrder(ok, cancel);
  setTabOrder(cancel, port_box_);
  setTabOrder(port_box_, channel_box_);
  ShowDevice();
}

void TFormSettings::Select(int port_index, int channel_index) {
  port_box_->setCurrentIndex(port_index >= 0 && port_index < port_box_->count() ? port_index : -1);
  channel_box_->setCurrentIndex(
      channel_index >= 0 && channel_index < channel_box_->count() ? channel_index : -1);
  ShowDevice();
}

int TFormSettings::PortIndex() const {
  return port_box_->currentIndex();
}

int TFormSettings::ChannelIndex() const {
  return channel_box_->currentIndex();
}

void TFormSettings::ShowDevice() {
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

}  // namespace korvane::ui
