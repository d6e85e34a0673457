// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <mutex>
#include <string>

namespace korvane::link {

// Maps the port numbers users know (1..99) to device paths. Defaults: 1-16 -> /dev/ttyUSB0..15,
// 17-32 -> /dev/ttyACM0..15, 33-64 -> /dev/ttyS0..31, 65-99 none. Overrides (the settings
// file's PORTS section, a demo run's pty) take precedence. Safe to use from any thread.
class PortMap {
 public:
  static constexpr int kMaxPort = 99;

  // The path for `number`, or an empty string when the number names no device.
  std::string DevicePath(int number) const;

  // The path the number maps to without overrides (empty when none).
  static std::string DefaultDevicePath(int number);

  // Sets or, with an empty path, removes the override for `number`. Numbers outside 1..99 are
  // ignored.
  void SetOverride(int number, const std::string& path);
  void ClearOverrides();
  std::map<int, std::string> Overrides() const;

 private:
  mutable std::mutex mutex_;
  std::map<int, std::string> overrides_;
};

}  // namespace korvane::link
