// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace korvane::model {

// What the acquisition thread needs of the telemetry model. The model implements it; the link
// layer only calls it.
class TelemetrySink {
 public:
  virtual ~TelemetrySink() = default;

  // Worker thread: decodes one checked 118-character payload into a record and appends it to the
  // history, under the model's own lock. Never throws.
  virtual void Decode(std::string_view payload) = 0;

  // UI thread (reached by a hand-off): refreshes the live view and the chart from the model.
  // May throw; the worker then reopens the port.
  virtual void RefreshDisplay() = 0;
};

}  // namespace korvane::model
