// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/link/comm.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "korvane/link/port_map.h"

namespace korvane::link {
namespace {

void SetReason(std::string* reason, const std::string& text) {
  if (reason != nullptr) {
    *reason = text;
  }
}

std::string ErrnoText(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

}  // namespace

TComm::TComm(const PortMap& ports) : ports_(ports), read_(::read) {}

TComm::~TComm() {
  Close();
}

int TComm::Open(int port_number, std::string* reason) {
  std::string own_reason;
  if (reason == nullptr) {
    reason = &own_reason;
  }
  const int result = OpenDevice(port_number, *reason);
  failure_.detail = *reason;
  return result;
}

int TComm::OpenDevice(int port_number, std::string& reason) {
  reason.clear();
  failure_ = OpenFailure{port_number, {}, 0, {}};
  if (port_number > kMaxPortNumber) {
    reason = "port number above " + std::to_string(kMaxPortNumber);
    return kCommPortNumberTooHigh;
  }
  if (fd_ >= 0) {
    Close();  // never leak a handle, even if a caller forgot to close first
  }
  const std::string path = ports_.DevicePath(port_number);
  failure_.path = path;
  if (path.empty()) {
    reason = "no device for port " + std::to_string(port_number);
    return kCommOpenFailed;
  }
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    failure_.error = errno;
    reason = ErrnoText(path, failure_.error);
    return kCommOpenFailed;
  }
  // Exclusive access: the advisory lock stops other programs that honour it (and root, whom
  // TIOCEXCL does not stop); TIOCEXCL stops every other non-root opener.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    ::close(fd);
    failure_.error = error == EWOULDBLOCK ? EBUSY : error;
    reason = error == EWOULDBLOCK ? path + ": in use by another program" : ErrnoText(path, error);
    return kCommOpenFailed;
  }
  fd_ = fd;
  int result = Configure(&reason);
  if (result != kCommOk) {
    reason = path + ": " + reason;
  }
  return result;
}

int TComm::Configure(std::string* reason) {
  termios tio{};
  if (::tcgetattr(fd_, &tio) != 0) {
    SetReason(reason, ErrnoText("reading line settings", errno));
    return kCommGetStateFailed;
  }
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, B9600);
  ::cfsetospeed(&tio, B9600);
  if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
    SetReason(reason, ErrnoText("writing line settings", errno));
    return kCommSetStateFailed;
  }
  // tcsetattr succeeds when any part of the request took; read back to be sure all of it did.
  termios check{};
  if (::tcgetattr(fd_, &check) != 0) {
    SetReason(reason, ErrnoText("reading line settings back", errno));
    return kCommGetTimeoutsFailed;
  }
  if ((check.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS)) != CS8 || check.c_cc[VMIN] != 0 ||
      check.c_cc[VTIME] != 0 || ::cfgetispeed(&check) != B9600 ||
      (check.c_lflag & (ICANON | ECHO)) != 0) {
    SetReason(reason, "the device did not take the line settings");
    return kCommSetTimeoutsFailed;
  }
  ::ioctl(fd_, TIOCEXCL);
  // Drop DTR and RTS where the device has modem lines (a pty has none).
  int lines = 0;
  if (::ioctl(fd_, TIOCMGET, &lines) == 0) {
    int drop = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(fd_, TIOCMBIC, &drop) != 0) {
      SetReason(reason, ErrnoText("dropping DTR and RTS", errno));
      return kCommSetMaskFailed;
    }
  }
  return kCommOk;
}

int TComm::Close() {
  if (fd_ < 0) {
    return kCommOk;
  }
  int fd = fd_;
  fd_ = -1;
  // Exclusive mode outlives this descriptor when someone else keeps the device open (a pty's
  // master side); clear it so a later open of ours is not refused.
  ::ioctl(fd, TIOCNXCL);
  // The fd is released even when close reports an error; it must not be closed again.
  return ::close(fd) == 0 ? kCommOk : kCommCloseFailed;
}

int TComm::Read(void* buffer, int count) {
  if (fd_ < 0 || count < 0) {
    return kCommReadFailed;
  }
  const ssize_t n = read_(fd_, buffer, static_cast<size_t>(count));
  if (n > 0) {
    return static_cast<int>(n);
  }
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
    return 0;
  }
  // A raw terminal answers "nothing yet" and "hung up" both with 0, and a read error may or may
  // not come with a hang-up; poll tells them apart.
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
    return kCommHungUp;
  }
  return n < 0 ? kCommReadFailed : 0;
}

bool TComm::Purge() {
  return fd_ >= 0 && ::tcflush(fd_, TCIOFLUSH) == 0;
}

std::uint32_t TComm::ClearErrors() {
  return 0;
}

}  // namespace korvane::link
