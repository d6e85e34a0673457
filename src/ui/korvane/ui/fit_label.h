// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>

namespace korvane::ui {

// A label whose text never overflows its box: a text too wide for the font the label was given
// is shown in the largest smaller pixel size that fits (down to a floor), so it is never clipped.
class FitLabel : public QLabel {
  Q_OBJECT

 public:
  static constexpr int kMinPixelSize = 8;

  explicit FitLabel(QWidget* parent = nullptr);

  // Sets the design font; the shown font is derived from it for every text.
  void SetBaseFont(const QFont& font);
  void SetFittedText(const QString& text);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Fit();

  QFont base_;
};

}  // namespace korvane::ui
