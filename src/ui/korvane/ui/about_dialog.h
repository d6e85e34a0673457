// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include "korvane/ui/version.h"

namespace korvane::ui {

// Help > About: the title with its shadow, the version text, a notice and OK.
class TFormAbout : public QDialog {
  Q_OBJECT

 public:
  explicit TFormAbout(const ProgramVersion& version, QWidget* owner = nullptr);
};

}  // namespace korvane::ui
