// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

#include "korvane/model/record.h"

namespace korvane::model {

inline constexpr std::size_t kPayloadLength = 118;

// Hex text to integer, accepting any character: each one adds code - 55 when its (signed 8-bit)
// code is above '9', code - 48 otherwise. So "A".."F" give 10..15 and "a" gives 42. Empty gives 0.
int HexToInt(std::string_view text);

// Decodes the frame code and both channel blocks of a payload. Time fields stay zero. A short
// payload yields only the characters present at each field's positions; a field with none is 0.
S_HARDWARE_DATA DecodePayload(std::string_view payload);

}  // namespace korvane::model
