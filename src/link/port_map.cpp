// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/link/port_map.h"

namespace korvane::link {

std::string PortMap::DefaultDevicePath(int number) {
  if (number >= 1 && number <= 16) {
    return "/dev/ttyUSB" + std::to_string(number - 1);
  }
  if (number >= 17 && number <= 32) {
    return "/dev/ttyACM" + std::to_string(number - 17);
  }
  if (number >= 33 && number <= 64) {
    return "/dev/ttyS" + std::to_string(number - 33);
  }
  return {};
}

std::string PortMap::DevicePath(int number) const {
  {
    std::lock_guard lock(mutex_);
    auto it = overrides_.find(number);
    if (it != overrides_.end()) {
      return it->second;
    }
  }
  return DefaultDevicePath(number);
}

void PortMap::SetOverride(int number, const std::string& path) {
  if (number < 1 || number > kMaxPort) {
    return;
  }
  std::lock_guard lock(mutex_);
  if (path.empty()) {
    overrides_.erase(number);
  } else {
    overrides_[number] = path;
  }
}

void PortMap::ClearOverrides() {
  std::lock_guard lock(mutex_);
  overrides_.clear();
}

std::map<int, std::string> PortMap::Overrides() const {
  std::lock_guard lock(mutex_);
  return overrides_;
}

}  // namespace korvane::link
