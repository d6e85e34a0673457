// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCheckBox>
#include <QColor>

namespace korvane::ui {

// A caption-less check box filled with a colour, its tick drawn in white or black, whichever
// stands out; the chart's check boxes use their series' colours and so serve as its legend.
class TColorCheckBox : public QCheckBox {
  Q_OBJECT

 public:
  TColorCheckBox(const QColor& color, QWidget* parent = nullptr);

  const QColor& Color() const { return color_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& pos) const override;

 private:
  QColor color_;
};

}  // namespace korvane::ui
