// SPDX-License-Identifier: GPL-3.0-or-later
// The decoder and the texts made from its records fed arbitrary payloads, any length.
#include <string>

#include "korvane/model/decoder.h"
#include "korvane/model/vocabulary.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string payload(reinterpret_cast<const char*>(data), size);
  const auto record = korvane::model::DecodePayload(payload);
  for (int channel = 0; channel < 2; ++channel) {
    std::string status;
    (void)korvane::model::GetModeText(record, channel, status);
    (void)korvane::model::FormatTemperature(record, channel, true);
    (void)korvane::model::FormatMilli(record.Channels[channel].OutputVoltage);
  }
  return 0;
}
