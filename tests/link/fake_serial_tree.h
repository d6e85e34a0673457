// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "korvane/link/serial_devices.h"
#include "korvane/test_support/temp_dir.h"

namespace korvane::link::testing {

// A /dev and /sys of the kernel's shape in a temp folder, removed with the object.
class FakeSerialTree {
 public:
  FakeSerialTree() { std::filesystem::create_directories(root_ / "dev/serial/by-id"); }

  SerialRoots Roots() const { return {(root_ / "dev").string(), (root_ / "sys").string()}; }
  std::string Dev(const std::string& name) const { return (root_ / "dev" / name).string(); }

  // sys/devices/<device> of `subsystem`; with a tty `name`, linked from sys/class/tty (and, with
  // `node`, present in /dev). A USB device gets its strings.
  void Add(const std::string& device, const std::string& subsystem, const std::string& name = {},
           bool node = true, const std::string& usb_strings = {}) {
    const auto dir = root_ / "sys/devices" / device;
    std::filesystem::create_directories(dir);
    std::filesystem::create_directories(root_ / "sys/bus" / subsystem);
    std::filesystem::create_directory_symlink(root_ / "sys/bus" / subsystem, dir / "subsystem");
    if (!usb_strings.empty()) {
      std::ofstream(dir / "idVendor") << "0403\n";
      std::ofstream(dir / "product") << usb_strings << "\n";
    }
    if (!name.empty()) {
      std::filesystem::create_directories(root_ / "sys/class/tty" / name);
      std::filesystem::create_directory_symlink(dir, root_ / "sys/class/tty" / name / "device");
      if (node) {
        std::ofstream(root_ / "dev" / name).put('\0');
      }
    }
  }
  // A USB-serial adapter as ttyUSB<n>, with its maker and by-id link.
  void PlugAdapter(int n) {
    const std::string usb = "usb1/1-" + std::to_string(n), name = "ttyUSB" + std::to_string(n);
    Add(usb, "usb", {}, false, "FT232R USB UART");
    std::ofstream(root_ / "sys/devices" / usb / "manufacturer") << "FTDI\n";
    Add(usb + "/1-0:1.0/" + name, "usb-serial", name);
    std::filesystem::create_symlink("../../" + name, root_ / "dev/serial/by-id" / ById(n));
  }
  static std::string ById(int n) { return "usb-FTDI_A" + std::to_string(n) + "-if00-port0"; }
  void Unplug(const std::string& name) {
    std::filesystem::remove(root_ / "dev" / name);
    std::filesystem::remove_all(root_ / "sys/class/tty" / name);
  }

 private:
  test_support::TempDir dir_;
  const std::filesystem::path root_{dir_.path()};
};

}  // namespace korvane::link::testing
