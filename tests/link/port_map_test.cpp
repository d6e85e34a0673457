// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/link/port_map.h"

#include <gtest/gtest.h>

namespace korvane::link {
namespace {

TEST(PortMap, DefaultDevices) {
  const struct {
    int number;
    const char* path;
  } cases[] = {
      {1, "/dev/ttyUSB0"},
      {16, "/dev/ttyUSB15"},
      {17, "/dev/ttyACM0"},
      {32, "/dev/ttyACM15"},
      {33, "/dev/ttyS0"},
      {64, "/dev/ttyS31"},
      {65, ""},
      {99, ""},
      {0, ""},
      {-1, ""},
      {100, ""},
  };
  PortMap map;
  for (const auto& c : cases) {
    EXPECT_EQ(map.DevicePath(c.number), c.path) << c.number;
  }
}

TEST(PortMap, OverridesTakePrecedenceAndCanBeRemoved) {
  PortMap map;
  map.SetOverride(5, "/dev/serial/by-id/usb-charger");
  map.SetOverride(70, "/tmp/sim-port");
  map.SetOverride(0, "/dev/ignored");
  map.SetOverride(100, "/dev/ignored");
  EXPECT_EQ(map.DevicePath(5), "/dev/serial/by-id/usb-charger");
  EXPECT_EQ(map.DevicePath(70), "/tmp/sim-port");
  EXPECT_EQ(map.DevicePath(0), "");
  EXPECT_EQ(map.DevicePath(100), "");
  map.SetOverride(5, "");
  EXPECT_EQ(map.DevicePath(5), "/dev/ttyUSB4");
  map.ClearOverrides();
  EXPECT_EQ(map.DevicePath(70), "");
}

}  // namespace
}  // namespace korvane::link
