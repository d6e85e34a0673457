// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// The test side's own reading of a byte stream: every span from a 0x0C to the next 0x0D, checked
// for length and checksum. Kept apart from the simulator's code on purpose.
namespace korvane::sim::testing {

struct ScannedFrame {
  std::string bytes;  // marker to marker
  bool right_length = false;
  bool right_checksum = false;  // only judged when the length is right
  bool Valid() const { return right_length && right_checksum; }
};

struct WireScan {
  std::vector<ScannedFrame> frames;
  std::string leftover;  // bytes after the last complete span
  int Valid() const {
    int n = 0;
    for (const ScannedFrame& f : frames) {
      n += f.Valid() ? 1 : 0;
    }
    return n;
  }
};

inline std::string ExpectedChecksum(std::string_view covered) {
  unsigned sum = 0;
  for (unsigned char c : covered) {
    sum += c;
  }
  char text[8];
  std::snprintf(text, sizeof text, "%.4X", sum);
  return text;
}

inline WireScan ScanWire(std::string_view stream) {
  WireScan scan;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t start = stream.find('\x0C', pos);
    if (start == std::string_view::npos) {
      break;
    }
    const std::size_t end = stream.find('\x0D', start);
    if (end == std::string_view::npos) {
      scan.leftover = std::string(stream.substr(start));
      break;
    }
    ScannedFrame frame;
    frame.bytes = std::string(stream.substr(start, end - start + 1));
    frame.right_length = frame.bytes.size() == 124;
    frame.right_checksum = frame.right_length && frame.bytes.substr(119, 4) ==
                                                     ExpectedChecksum(frame.bytes.substr(0, 119));
    scan.frames.push_back(std::move(frame));
    pos = end + 1;
  }
  return scan;
}

}  // namespace korvane::sim::testing
