// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/sim/serial_device.h"

#include <fcntl.h>
#include <termios.h>

#include <cerrno>
#include <system_error>

namespace korvane::sim {

void SetRawSerial(int fd) {
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) {
    throw std::system_error(errno, std::generic_category(), "tcgetattr");
  }
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CREAD | CLOCAL;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (::cfsetispeed(&tio, B9600) != 0 || ::cfsetospeed(&tio, B9600) != 0) {
    throw std::system_error(errno, std::generic_category(), "cfsetspeed");
  }
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
    throw std::system_error(errno, std::generic_category(), "tcsetattr");
  }
}

std::unique_ptr<SerialDevice> SerialDevice::Open(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.Valid()) {
    throw std::system_error(errno, std::generic_category(), "open " + path);
  }
  SetRawSerial(fd.Get());
  return std::unique_ptr<SerialDevice>(new SerialDevice(std::move(fd), path));
}

WriteReport SerialDevice::Send(std::string_view bytes, std::chrono::milliseconds max_wait,
                               int wake_fd) {
  return WriteWithin(fd_.Get(), bytes, max_wait, wake_fd);
}

}  // namespace korvane::sim
