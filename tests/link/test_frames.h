// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <string>

namespace korvane::link::testing {

// Frames built independently of the receiver's checksum code: the plain byte sum of marker and
// payload, four hex digits.
inline std::string MakeFrame(const std::string& payload, bool lowercase_checksum = false) {
  std::string frame(1, '\x0C');
  frame += payload;
  unsigned sum = 0;
  for (char c : frame) {
    sum += static_cast<unsigned char>(c);
  }
  char digits[8];
  std::snprintf(digits, sizeof digits, lowercase_checksum ? "%04x" : "%04X", sum & 0xFFFFu);
  frame += digits;
  frame += '\x0D';
  return frame;
}

// A 118-character payload of hex digits that differs with `seed`.
inline std::string MakePayload(unsigned seed) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string payload(118, '0');
  for (std::size_t i = 0; i < payload.size(); ++i) {
    payload[i] = kHex[(seed * 7 + i * 13 + seed / 16) % 16];
  }
  return payload;
}

}  // namespace korvane::link::testing
