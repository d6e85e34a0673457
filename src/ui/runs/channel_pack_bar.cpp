// SPDX-License-Identifier: GPL-3.0-or-later
#include "runs/channel_pack_bar.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <algorithm>

namespace korvane::ui {

ChannelPackBar::ChannelPackBar(QWidget* parent) : QWidget(parent) {
  setObjectName("RunsPackBar");
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  for (int i = 0; i < model::kChannelCount; ++i) {
    auto* combo = new QComboBox(this);
    combo->setObjectName(QString("RunsPackChannel%1").arg(i + 1));
    combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    combo->setToolTip(
        QString("The pack every run begun on channel %1 belongs to, for this program and "
                "korvane-log alike")
            .arg(i + 1));
    combos_[static_cast<std::size_t>(i)] = combo;
    auto* label = new QLabel(QString("Channel %1:").arg(i + 1), this);
    label->setBuddy(combo);
    if (i > 0) {
      layout->addSpacing(12);
    }
    layout->addWidget(label);
    layout->addWidget(combo);
    connect(combo, &QComboBox::currentIndexChanged, this,
            [this, combo, i] { emit Chosen(i + 1, combo->currentData().toLongLong()); });
  }
  layout->addStretch(1);
  Show({}, {});
}

void ChannelPackBar::Show(const std::vector<record::Pack>& packs, const Choice& chosen) {
  for (std::size_t i = 0; i < combos_.size(); ++i) {
    QComboBox* combo = combos_[i];
    const QSignalBlocker quiet(combo);
    combo->clear();
    combo->addItem("No pack", QVariant::fromValue<qlonglong>(0));
    for (const record::Pack& pack : packs) {
      if (!pack.retired || pack.id == chosen[i]) {
        const QString name = QString::fromStdString(pack.name);
        combo->addItem(pack.retired ? name + " (retired)" : name,
                       QVariant::fromValue<qlonglong>(pack.id));
      }
    }
    combo->setCurrentIndex(std::max(0, combo->findData(QVariant::fromValue<qlonglong>(chosen[i]))));
  }
}

QComboBox* ChannelPackBar::Combo(int channel) const {
  return combos_.at(static_cast<std::size_t>(channel - 1));
}

ChannelPackBar::Choice ChannelPackBar::Shown() const {
  Choice shown{};
  for (std::size_t i = 0; i < combos_.size(); ++i) {
    shown[i] = combos_[i]->currentData().toLongLong();
  }
  return shown;
}

}  // namespace korvane::ui
