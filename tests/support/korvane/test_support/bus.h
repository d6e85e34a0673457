#pragma once

#include <string>

#include "korvane/test_support/child.h"
#include "korvane/test_support/temp_dir.h"

namespace korvane::test_support {

// A D-Bus of the test's own: dbus-daemon on a socket in `dir` (bus.conf, bus, bus.log there),
// every name ownable and every call and reply allowed, nothing activatable. The constructor
// waits until the daemon takes connections; the bus ends with the object.
class Bus {
 public:
  explicit Bus(const TempDir& dir);

  // True once the daemon took a connection; bus.log tells why not.
  bool Up() const { return up_; }
  // The address to connect to ("unix:path=...").
  const std::string& Address() const { return address_; }

 private:
  static std::string Configure(const TempDir& dir);

  Child daemon_;
  std::string address_;
  bool up_ = false;
};

}  // namespace korvane::test_support
