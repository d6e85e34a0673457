// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/link/serial_devices.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>

#include "korvane/link/port_map.h"

namespace korvane::link {
namespace {

namespace fs = std::filesystem;

fs::path Canonical(const fs::path& path) {
  std::error_code error;
  fs::path result = fs::canonical(path, error);
  return error ? fs::path() : result;
}

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
    line.pop_back();
  }
  return line;
}

std::string SubsystemOf(const fs::path& device) {
  return Canonical(device / "subsystem").filename().string();
}

// A UART the platform declares whether or not one is fitted; ports on a real bus (USB, PCI, PnP)
// are there. Recent kernels put a "serial-base" port device in between.
bool BackedByHardware(const fs::path& device) {
  fs::path node = device;
  std::string subsystem = SubsystemOf(node);
  while (subsystem == "serial-base" && node.has_parent_path() && node != node.parent_path()) {
    node = node.parent_path();
    subsystem = SubsystemOf(node);
  }
  return !subsystem.empty() && subsystem != "platform";
}

// Walks up from the tty's device, within the device tree, to the USB device: it has the strings.
void ReadUsbStrings(const fs::path& device, const fs::path& sys_root, SerialDevice& out) {
  const std::string root = sys_root.string() + "/";
  for (fs::path node = device; node.string().starts_with(root); node = node.parent_path()) {
    std::error_code error;
    if (fs::exists(node / "idVendor", error)) {
      out.manufacturer = FirstLine(node / "manufacturer");
      out.product = FirstLine(node / "product");
      return;
    }
  }
}

std::map<fs::path, std::string> ByIdNames(const fs::path& dev_root) {
  std::map<fs::path, std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dev_root / "serial" / "by-id", error)) {
    const fs::path target = Canonical(entry.path());
    if (!target.empty()) {
      names.emplace(target, entry.path().filename().string());
    }
  }
  return names;
}

fs::path UnderRoot(const std::string& mapped, const SerialRoots& roots) {
  const std::string prefix = "/dev/";
  if (roots.dev != "/dev" && mapped.compare(0, prefix.size(), prefix) == 0) {
    return fs::path(roots.dev) / mapped.substr(prefix.size());
  }
  return mapped;
}

// The number for each device node the map reaches: overrides first, then the lowest number.
std::map<fs::path, int> PortNumbers(const PortMap& ports, const SerialRoots& roots) {
  std::map<fs::path, int> numbers;
  for (const auto& [number, path] : ports.Overrides()) {
    const fs::path target = Canonical(UnderRoot(path, roots));
    if (!target.empty()) {
      numbers.emplace(target, number);
    }
  }
  for (int number = 1; number <= PortMap::kMaxPort; ++number) {
    const std::string path = ports.DevicePath(number);
    if (!path.empty()) {
      const fs::path target = Canonical(UnderRoot(path, roots));
      if (!target.empty()) {
        numbers.emplace(target, number);
      }
    }
  }
  return numbers;
}

}  // namespace

std::vector<SerialDevice> ListSerialDevices(const PortMap& ports, const SerialRoots& roots) {
  const fs::path dev_root(roots.dev);
  const fs::path sys_root = Canonical(roots.sys);
  const std::map<fs::path, std::string> by_id = ByIdNames(dev_root);
  const std::map<fs::path, int> numbers = PortNumbers(ports, roots);

  std::map<fs::path, SerialDevice> found;
  const auto add = [&](const fs::path& node) {
    const fs::path target = Canonical(node);
    if (target.empty() || found.contains(target)) {
      return static_cast<SerialDevice*>(nullptr);
    }
    SerialDevice& device = found[target];
    device.path = node.string();
    if (auto it = numbers.find(target); it != numbers.end()) {
      device.port = it->second;
    }
    if (auto it = by_id.find(target); it != by_id.end()) {
      device.by_id = it->second;
    }
    return &device;
  };

  std::error_code error;
  for (const auto& entry : fs::directory_iterator(fs::path(roots.sys) / "class" / "tty", error)) {
    const fs::path device = Canonical(entry.path() / "device");
    if (device.empty() || !BackedByHardware(device)) {
      continue;
    }
    if (SerialDevice* added = add(dev_root / entry.path().filename())) {
      ReadUsbStrings(device, sys_root, *added);
    }
  }
  for (const auto& [number, path] : ports.Overrides()) {
    add(UnderRoot(path, roots));
  }

  std::vector<SerialDevice> list;
  list.reserve(found.size());
  for (auto& [target, device] : found) {
    list.push_back(std::move(device));
  }
  std::sort(list.begin(), list.end(), [](const SerialDevice& a, const SerialDevice& b) {
    return std::tuple(a.port == 0, a.port, a.path) < std::tuple(b.port == 0, b.port, b.path);
  });
  return list;
}

}  // namespace korvane::link
