// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "korvane/color.h"

namespace korvane::link {

// The link status the window shows: a text and its colour (0x00BBGGRR).
struct CommStatus {
  std::string text;
  TColor color = 0;

  friend bool operator==(const CommStatus&, const CommStatus&) = default;
};

inline constexpr const char* kStatusInitializing = "Initializing...";
inline constexpr const char* kStatusOpenFailed = "ERROR: unable to open COM port";
inline constexpr const char* kStatusOk = "OK";
inline constexpr const char* kStatusWrongLength = "ERROR: wrong frame length";
inline constexpr const char* kStatusWrongChecksum = "ERROR: wrong checksum";
inline constexpr const char* kStatusTimeout = "ERROR: timeout (no data)";

inline constexpr TColor kColorInitializing = 0x0000FFFF;   // yellow
inline constexpr TColor kColorOpenFailed = 0x000000FF;     // red
inline constexpr TColor kColorOk = 0x0000FF00;             // lime
inline constexpr TColor kColorWrongLength = 0x0000AAFF;    // #FFAA00
inline constexpr TColor kColorWrongChecksum = 0x0000CCFF;  // #FFCC00
inline constexpr TColor kColorTimeout = 0x000088FF;        // orange

// Implemented by the main window; always called on the UI thread.
class CommStatusView {
 public:
  virtual ~CommStatusView() = default;
  virtual void SetCommStatus(const std::string& text, TColor color) = 0;
  // Why the port failed to open, in a user's words; empty once it opens or another port is
  // chosen. Sent after the status it explains, and only when it changes.
  virtual void SetCommDetail(const std::string& /*reason*/) {}
};

}  // namespace korvane::link
