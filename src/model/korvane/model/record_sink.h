// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "korvane/model/record.h"

namespace korvane::model {

// Where every decoded record goes besides the history (the recording). Called on the
// acquisition thread right after the decode, outside the model's lock: it must return at once
// and never throw.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  virtual void Record(const S_HARDWARE_DATA& record) noexcept = 0;
};

}  // namespace korvane::model
