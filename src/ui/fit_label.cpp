// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/fit_label.h"

#include <QFontMetrics>

namespace korvane::ui {

FitLabel::FitLabel(QWidget* parent) : QLabel(parent), base_(font()) {}

void FitLabel::SetBaseFont(const QFont& font) {
  base_ = font;
  Fit();
}

void FitLabel::SetFittedText(const QString& text) {
  if (text == this->text()) {
    return;
  }
  setText(text);
  Fit();
}

void FitLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Fit();
}

void FitLabel::Fit() {
  QFont shown = base_;
  const int room = contentsRect().width();
  int size = base_.pixelSize();
  while (size > kMinPixelSize && QFontMetrics(shown).horizontalAdvance(text()) > room) {
    shown.setPixelSize(--size);
  }
  if (shown != font()) {
    setFont(shown);
  }
}

}  // namespace korvane::ui
