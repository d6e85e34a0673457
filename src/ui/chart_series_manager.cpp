// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/chart_series_manager.h"

#include <QCheckBox>
#include <QPushButton>

#include "korvane/chart/trend_chart.h"
#include "korvane/model/hardware_data.h"

namespace korvane::ui {

void ApplyChartDesign(chart::TTrendChart& chart) {
  chart.BeginUpdate();
  chart.SetShowLegend(false);
  chart.SetTitle("Chart Title");
  chart.SetShowTitle(false);
  chart.SetShowXGrid(true);
  chart.SetShowYGrid(true);
  chart.SetAxisXTitle("Time [seconds]");
  chart.SetAxisYTitle("Voltages [V]");
  chart.SetAxisXScale(1);
  chart.SetAxisYScale(1000);
  chart.SetAxisXOnePerValue(false);
  chart.SetMonochrome(false);
  chart.SetSoftColors(false);
  chart.EndUpdate();
}

ChartSeriesManager::ChartSeriesManager(const std::array<QCheckBox*, kChartCheckBoxCount>& boxes,
                                       QPushButton* reset, QObject* parent)
    : QObject(parent), boxes_(boxes) {
  for (QCheckBox* box : boxes_) {
    connect(box, &QCheckBox::clicked, this, [this, box] { CheckBoxShowValueOnChartClick(box); });
  }
  connect(reset, &QPushButton::clicked, this, &ChartSeriesManager::ButtonResetChartClick);
}

void ChartSeriesManager::Load(std::uint32_t mask) {
  mask_ = mask;
  for (QCheckBox* box : boxes_) {
    const int bit = box->property("Tag").toInt() % 32;
    box->setChecked((mask_ >> bit) & 1u);
  }
}

void ChartSeriesManager::CheckBoxShowValueOnChartClick(QObject* sender) {
  if (initializing_) {
    return;
  }
  auto* box = qobject_cast<QCheckBox*>(sender);
  if (box == nullptr) {
    return;
  }
  const std::uint32_t bit = 1u << (box->property("Tag").toInt() % 32);
  mask_ = box->isChecked() ? (mask_ | bit) : (mask_ & ~bit);
  if (data_ != nullptr) {
    data_->SetChartValuesMask(mask_);
  }
}

void ChartSeriesManager::ButtonResetChartClick() {
  if (data_ != nullptr) {
    data_->ResetChart();
  }
}

}  // namespace korvane::ui
