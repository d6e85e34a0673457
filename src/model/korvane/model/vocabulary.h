// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "korvane/model/record.h"

namespace korvane::model {

// Mode text of channel `channel` (0 or 1). For modes 1 to 6 `status` is overwritten with the
// status word; for every other mode it is left exactly as passed.
std::string GetModeText(const S_HARDWARE_DATA& record, int channel, std::string& status);

// The mode text, followed by " (" status ")" when the mode has a status word.
std::string ModeWithStatusText(const S_HARDWARE_DATA& record, int channel);

// A raw value in thousandths as whole units with three decimals ("%0.3f"), using the decimal
// separator of the current C locale: 12000 gives "12.000".
std::string FormatMilli(std::uint16_t raw);

// The temperature in degrees with one decimal; "-" in front when the sign flag is 0 and the
// magnitude is not 0; with `with_unit`, U+00B0 and "F" (unit 1) or "C" (any other unit) behind.
std::string FormatTemperature(const S_HARDWARE_DATA& record, int channel, bool with_unit);

// The cycle number as decimal text without leading zeros.
std::string FormatCycleNumber(const S_HARDWARE_DATA& record, int channel);

// The decimal separator of the current C locale (LC_NUMERIC).
std::string DecimalSeparator();

}  // namespace korvane::model
