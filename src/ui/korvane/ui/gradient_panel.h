// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QWidget>

namespace korvane::ui {

// A panel filled with a vertical two-colour gradient drawn in discrete steps, top colour to
// bottom colour, with an optional one-pixel black outline.
class TGradientPanel : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kSteps = 236;

  explicit TGradientPanel(QWidget* parent = nullptr);

  void SetStartColor(const QColor& color);
  void SetEndColor(const QColor& color);
  void SetOutline(bool outline);
  const QColor& StartColor() const { return start_; }
  const QColor& EndColor() const { return end_; }

  // Colour of step `index` (0..kSteps-1): the start colour at 0, the end colour at the last.
  static QColor StepColor(const QColor& start, const QColor& end, int index);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor start_{Qt::white};
  QColor end_{Qt::black};
  bool outline_ = false;
};

}  // namespace korvane::ui
