// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <string>

#include "korvane/color.h"

class QLabel;

namespace korvane::ui {

class FitLabel;
class TGradientPanel;

// The bottom-right corner of the main window: the port caption, and the lamp (a white-to-status
// gradient) with the status text centred over it.
class StatusLamp : public QObject {
  Q_OBJECT

 public:
  // Creates the three controls on `client` at their places.
  explicit StatusLamp(QWidget* client);

  // "Communication Status [COM<port>:9600,N,8,1]".
  void ShowPort(int port);
  void ShowStatus(const std::string& text, TColor color);
  // Why the port failed to open, as the lamp's tooltip; empty clears it.
  void ShowDetail(const std::string& reason);
  QString Detail() const { return detail_; }

  QLabel* PortCaption() const { return caption_; }
  TGradientPanel* Lamp() const { return lamp_; }
  FitLabel* StatusText() const { return text_; }

 signals:
  void DetailChanged(const QString& reason);

 private:
  QLabel* caption_;
  TGradientPanel* lamp_;
  FitLabel* text_;
  QString detail_;
};

}  // namespace korvane::ui
