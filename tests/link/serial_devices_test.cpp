// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/link/serial_devices.h"

#include <gtest/gtest.h>

#include "fake_serial_tree.h"
#include "korvane/link/port_map.h"

namespace korvane::link {

void PrintTo(const SerialDevice& d, std::ostream* out) {
  *out << d.port << " " << d.path << " [" << d.by_id << "] " << d.manufacturer << "/" << d.product;
}

namespace {

TEST(SerialDevices, ListsHardwareTtysWithNumbersNamesAndUsbStrings) {
  testing::FakeSerialTree tree;
  tree.PlugAdapter(0);
  tree.Add("usb1/1-3", "usb", {}, false, "Charger");
  tree.Add("usb1/1-3/1-3:1.0", "usb", "ttyACM0");
  tree.Add("pnp0/00:01", "pnp");
  tree.Add("pnp0/00:01/00:01:0", "serial-base");
  tree.Add("pnp0/00:01/00:01:0/00:01:0.0", "serial-base", "ttyS0");
  tree.Add("usb1/1-7/1-7:1.0/ttyUSB20", "usb-serial", "ttyUSB20");  // no number reaches it
  // Not listed: a placeholder UART, a tty whose node is gone.
  tree.Add("platform/serial8250", "platform");
  tree.Add("platform/serial8250/serial8250:0", "serial-base");
  tree.Add("platform/serial8250/serial8250:0/serial8250:0.5", "serial-base", "ttyS5");
  tree.Add("usb1/1-9/1-9:1.0/ttyUSB1", "usb-serial", "ttyUSB1", false);
  PortMap ports;
  ports.SetOverride(5, "/dev/serial/by-id/" + tree.ById(0));
  ports.SetOverride(70, tree.Dev("ttyS5"));  // listed once a number names it
  ports.SetOverride(71, "/dev/korvane-missing");

  const std::vector<SerialDevice> expected = {
      {tree.Dev("ttyUSB0"), 5, tree.ById(0), "FTDI", "FT232R USB UART"},
      {tree.Dev("ttyACM0"), 17, "", "", "Charger"},
      {tree.Dev("ttyS0"), 33, "", "", ""},
      {tree.Dev("ttyS5"), 70, "", "", ""},
      {tree.Dev("ttyUSB20"), 0, "", "", ""},
  };
  EXPECT_EQ(ListSerialDevices(ports, tree.Roots()), expected);
}

}  // namespace
}  // namespace korvane::link
