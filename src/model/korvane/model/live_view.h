// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>

#include "korvane/model/record.h"

namespace korvane::model {

// Every live label's text for the shown channel. The window only assigns them.
struct LiveValues {
  std::string CurrentTime;
  std::string StartTime;
  std::string OperatingTime;
  std::string OperationMode;
  std::string OperationStatus;
  std::string CycleNumber;
  std::string InputVoltage;
  std::string OutputVoltage;
  std::string OutputCurrent;
  std::string OutputCapacity;
  std::string Temperature;
  std::array<std::string, kCellCount> CellVoltage;

  bool operator==(const LiveValues&) const = default;
};

// The texts shown before the first frame: "-" for times and words, "0.000" for values.
LiveValues PlaceholderLiveValues();

// Implemented by the main window; called on the UI thread, with no model lock held.
class LiveView {
 public:
  virtual ~LiveView() = default;
  virtual void ShowLiveValues(const LiveValues& values) = 0;
};

}  // namespace korvane::model
