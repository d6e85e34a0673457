// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

#include "korvane/model/record.h"

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QWidget;

namespace korvane::chart {
class TTrendChartWidget;
}

namespace korvane::ui {

class FitLabel;
class StatusLamp;
class TGradientPanel;

inline constexpr int kClientWidth = 785;
inline constexpr int kClientHeight = 537;
inline constexpr int kChartCheckBoxCount = 9;

// The main window's controls. All are owned by the client widget they were built on.
struct MainControls {
  std::array<TGradientPanel*, 5> Bands{};
  QLabel* LabelLabelOperationMode = nullptr;
  TGradientPanel* FillModeBox = nullptr;
  FitLabel* LabelOperationMode = nullptr;
  FitLabel* LabelOperationStatus = nullptr;
  QLabel* LabelLabelLastFrameTime = nullptr;
  FitLabel* LabelCurrentTime = nullptr;
  QLabel* Label1 = nullptr;
  FitLabel* LabelStartTime = nullptr;
  QLabel* Label2 = nullptr;
  FitLabel* LabelOperatingTime = nullptr;
  QFrame* Shape1 = nullptr;
  QWidget* PanelRealTimeData = nullptr;
  QLabel* LabelRealTimeData = nullptr;
  FitLabel* LabelCycleNumber = nullptr;
  FitLabel* LabelInputVoltage = nullptr;
  FitLabel* LabelOutputVoltage = nullptr;
  FitLabel* LabelOutputCurrent = nullptr;
  FitLabel* LabelOutputCapacity = nullptr;
  FitLabel* LabelTemperature = nullptr;
  // Indexed by chart bit: input voltage, output voltage, cells 1 to 7.
  std::array<QCheckBox*, kChartCheckBoxCount> ChartCheckBoxes{};
  std::array<QLabel*, model::kCellCount> LabelLabelCellVoltage{};
  std::array<QWidget*, model::kCellCount> PanelCellVoltage{};
  std::array<FitLabel*, model::kCellCount> LabelCellVoltage{};
  chart::TTrendChartWidget* TrendChart = nullptr;
  QPushButton* ButtonResetChart = nullptr;
  QLabel* LabelCopyright = nullptr;
  StatusLamp* CommStatus = nullptr;
};

// Builds every control of the main window's client area (785 x 537) at its place, with its
// design-time text, font and colours.
MainControls BuildMainLayout(QWidget* client);

}  // namespace korvane::ui
