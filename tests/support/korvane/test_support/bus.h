// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "korvane/test_support/child.h"
#include "korvane/test_support/temp_dir.h"
#include "korvane/test_support/wait.h"

namespace korvane::test_support {

// A D-Bus of the test's own: dbus-daemon on a socket in `dir` (bus.conf, bus, bus.log there),
// every name ownable and every call and reply allowed, nothing activatable. The constructor
// waits until the daemon takes connections; the bus ends with the object. Started by fork and
// exec, not QProcess: QProcess starts children vfork-style, sharing this process's memory for a
// moment, which ThreadSanitizer cannot follow.
class Bus {
 public:
  explicit Bus(const TempDir& dir)
      : daemon_({"dbus-daemon", Configure(dir), "--nofork"}, Environment(), dir / "bus.log"),
        socket_(dir / "bus") {
    up_ = WaitUntil([&] {
      sockaddr_un un{};
      un.sun_family = AF_UNIX;
      std::snprintf(un.sun_path, sizeof un.sun_path, "%s", socket_.c_str());
      const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
      const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&un), sizeof un) == 0;
      ::close(fd);
      return up;
    });
  }

  // True once the daemon took a connection; bus.log tells why not.
  bool Up() const { return up_; }
  // The address to connect to.
  std::string Address() const { return "unix:path=" + socket_; }

 private:
  // Calls and their replies both need an allow: the daemon's default denies.
  static std::string Configure(const TempDir& dir) {
    WriteFile(dir / "bus.conf",
              "<busconfig><type>session</type><listen>unix:path=" + (dir / "bus") +
                  "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                  "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                  "<allow own=\"*\"/></policy></busconfig>");
    return "--config-file=" + (dir / "bus.conf");
  }

  Child daemon_;
  std::string socket_;
  bool up_ = false;
};

}  // namespace korvane::test_support
