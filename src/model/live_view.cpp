// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/model/live_view.h"

namespace korvane::model {

LiveValues PlaceholderLiveValues() {
  LiveValues v;
  v.CurrentTime = v.StartTime = v.OperatingTime = v.OperationMode = v.OperationStatus = "-";
  v.CycleNumber = v.InputVoltage = v.OutputVoltage = v.OutputCurrent = v.OutputCapacity =
      v.Temperature = "0.000";
  v.CellVoltage.fill("0.000");
  return v;
}

}  // namespace korvane::model
