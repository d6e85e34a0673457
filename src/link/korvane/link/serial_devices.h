// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace korvane::link {

class PortMap;

// Where the device nodes and the kernel's device tree are; tests point them into a temp folder.
struct SerialRoots {
  std::string dev = "/dev";
  std::string sys = "/sys";
};

struct SerialDevice {
  std::string path;   // the device node, under SerialRoots::dev
  int port = 0;       // the number that reaches it (an override first, then the lowest); 0: none
  std::string by_id;  // its name in <dev>/serial/by-id, empty when it has none
  std::string manufacturer;  // the USB device's strings, empty where it has none
  std::string product;

  friend bool operator==(const SerialDevice&, const SerialDevice&) = default;
};

// The serial devices present: every tty the kernel backs with hardware (USB adapters, ACM
// modems, real UARTs; not the platform's placeholder UARTs), plus the existing devices that
// PORTS overrides name (a pty, say). Sorted by port number, those without one last. A mapped
// path under /dev is looked up under `roots.dev`. Reads the file system only; never opens a
// device.
std::vector<SerialDevice> ListSerialDevices(const PortMap& ports, const SerialRoots& roots = {});

}  // namespace korvane::link
