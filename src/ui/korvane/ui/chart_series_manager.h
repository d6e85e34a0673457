// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <array>
#include <cstdint>

#include "korvane/ui/main_layout.h"

class QCheckBox;
class QPushButton;

namespace korvane::chart {
class TTrendChart;
}
namespace korvane::model {
class THardwareData;
}

namespace korvane::ui {

// Gives the trend chart the window's design settings: no legend or title, both grids, the axis
// titles, and a Y scale of 1000 so the plotted millivolts read in volts.
void ApplyChartDesign(chart::TTrendChart& chart);

// The nine chart check boxes and "Reset Chart": keeps the chart mask (bit n set: the value with
// check box Tag n is plotted) and hands every change to the model. Bits without a check box are
// kept as they were loaded.
class ChartSeriesManager : public QObject {
  Q_OBJECT

 public:
  ChartSeriesManager(const std::array<QCheckBox*, kChartCheckBoxCount>& boxes, QPushButton* reset,
                     QObject* parent = nullptr);

  // Takes the loaded mask and ticks boxes from bits 0..8. Clicks are ignored while initializing.
  void Load(std::uint32_t mask);
  void SetInitializing(bool initializing) { initializing_ = initializing; }
  // The model is not owned; nullptr detaches it.
  void Attach(model::THardwareData* data) { data_ = data; }

  std::uint32_t Mask() const { return mask_; }

  void CheckBoxShowValueOnChartClick(QObject* sender);
  void ButtonResetChartClick();

 private:
  std::array<QCheckBox*, kChartCheckBoxCount> boxes_;
  model::THardwareData* data_ = nullptr;
  std::uint32_t mask_ = 3;
  bool initializing_ = true;
};

}  // namespace korvane::ui
