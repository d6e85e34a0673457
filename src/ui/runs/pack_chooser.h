// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <vector>

#include "korvane/record/packs.h"

class QComboBox;

namespace korvane::ui {

// A small dialog that asks for one pack: the packs not retired in the given order, then the
// retired ones marked so, after "No pack" when `offer_none`. OK accepts what is shown.
class PackChooser final : public QDialog {
  Q_OBJECT

 public:
  PackChooser(const QString& title, const QString& text, const std::vector<record::Pack>& packs,
              bool offer_none, QWidget* parent = nullptr);

  QComboBox* Combo() const { return combo_; }
  // 0: no pack.
  std::int64_t ChosenId() const;

 private:
  QComboBox* combo_ = nullptr;
};

}  // namespace korvane::ui
