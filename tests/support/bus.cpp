#include "korvane/test_support/bus.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>

#include "korvane/test_support/wait.h"

namespace korvane::test_support {

// Calls and their replies both need an allow: the daemon's default denies.
std::string Bus::Configure(const TempDir& dir) {
  WriteFile(dir / "bus.conf", "<busconfig><type>session</type><listen>unix:path=" + (dir / "bus") +
                                  "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                                  "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                                  "<allow own=\"*\"/></policy></busconfig>");
  return "--config-file=" + (dir / "bus.conf");
}

// fork and exec (through Child), not QProcess: QProcess starts children vfork-style, sharing
// this process's memory for a moment, which ThreadSanitizer cannot follow.
Bus::Bus(const TempDir& dir)
    : daemon_({"dbus-daemon", Configure(dir), "--nofork"}, Environment(), dir / "bus.log"),
      address_("unix:path=" + (dir / "bus")) {
  const std::string socket = dir / "bus";
  up_ = WaitUntil([&] {
    sockaddr_un un{};
    un.sun_family = AF_UNIX;
    std::snprintf(un.sun_path, sizeof un.sun_path, "%s", socket.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&un), sizeof un) == 0;
    ::close(fd);
    return up;
  });
}

}  // namespace korvane::test_support
