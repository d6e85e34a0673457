// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/status_lamp.h"

#include <QLabel>

#include "korvane/ui/colors.h"
#include "korvane/ui/fit_label.h"
#include "korvane/ui/fonts.h"
#include "korvane/ui/gradient_panel.h"

namespace korvane::ui {

StatusLamp::StatusLamp(QWidget* client)
    : QObject(client),
      caption_(new QLabel(client)),
      lamp_(new TGradientPanel(client)),
      text_(new FitLabel(client)) {
  caption_->setObjectName("LabelLabelCommStatus");
  caption_->setGeometry(248, 508, 265, 21);
  caption_->setFont(UiFont(11, true));
  caption_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  QPalette white = caption_->palette();
  white.setColor(QPalette::WindowText, Qt::white);
  caption_->setPalette(white);

  lamp_->setObjectName("FillCommStatus");
  lamp_->setGeometry(520, 508, 257, 21);
  lamp_->SetStartColor(Qt::white);
  lamp_->SetEndColor(QColor(0xC0, 0xC0, 0xC0));

  text_->setObjectName("LabelCommStatus");
  text_->setGeometry(520, 508, 257, 21);
  text_->SetBaseFont(UiFont(13, true));
  text_->setAlignment(Qt::AlignCenter);
  QPalette black = text_->palette();
  black.setColor(QPalette::WindowText, Qt::black);
  text_->setPalette(black);
  text_->raise();
}

void StatusLamp::ShowPort(int port) {
  caption_->setText(QString("Communication Status [COM%1:9600,N,8,1]").arg(port));
}

void StatusLamp::ShowStatus(const std::string& text, TColor color) {
  text_->SetFittedText(QString::fromStdString(text));
  lamp_->SetEndColor(ToQColor(color));
}

void StatusLamp::ShowDetail(const std::string& reason) {
  const QString detail = QString::fromStdString(reason);
  if (detail == detail_) {
    return;
  }
  detail_ = detail;
  // The text covers the lamp, so both carry the tooltip.
  lamp_->setToolTip(detail_);
  text_->setToolTip(detail_);
  emit DetailChanged(detail_);
}

}  // namespace korvane::ui
