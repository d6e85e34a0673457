// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/sim/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>

#include "korvane/sim/serial_device.h"

namespace korvane::sim {
namespace {

void SetFlags(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0 ||
      ::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
    throw std::system_error(errno, std::generic_category(), "fcntl");
  }
}

}  // namespace

std::unique_ptr<Pty> Pty::Open() {
  int master_fd = -1;
  int slave_fd = -1;
  if (::openpty(&master_fd, &slave_fd, nullptr, nullptr, nullptr) != 0) {
    throw std::system_error(errno, std::generic_category(), "openpty");
  }
  UniqueFd master(master_fd);
  UniqueFd slave(slave_fd);
  SetFlags(master.Get());
  SetFlags(slave.Get());
  SetRawSerial(slave.Get());
  char name[256];
  if (const int err = ::ttyname_r(slave.Get(), name, sizeof name); err != 0) {
    throw std::system_error(err, std::generic_category(), "ttyname_r");
  }
  return std::unique_ptr<Pty>(new Pty(std::move(master), std::move(slave), name));
}

Pty::Pty(UniqueFd master, UniqueFd slave, std::string slave_path)
    : master_(std::move(master)),
      slave_(std::move(slave)),
      master_fd_(master_.Get()),
      slave_path_(std::move(slave_path)) {}

Pty::~Pty() {
  CloseMaster();
}

bool Pty::Write(std::string_view bytes) {
  const WriteReport report = Send(bytes, kDefaultWriteWait, -1);
  if (report.failed || report.written != bytes.size()) {
    return false;
  }
  // The kernel hands master writes to the slave side asynchronously. Return once they can be
  // read there, so a receiver stepped by a test sees them on its next read (a reader that takes
  // them first only makes this wait run out).
  std::lock_guard lock(mutex_);
  if (slave_.Valid() && !bytes.empty()) {
    pollfd readable{slave_.Get(), POLLIN, 0};
    ::poll(&readable, 1, static_cast<int>(kArrivalWait.count()));
  }
  return true;
}

WriteReport Pty::Send(std::string_view bytes, std::chrono::milliseconds max_wait, int wake_fd) {
  std::lock_guard lock(mutex_);
  const WriteReport report = WriteWithin(master_.Get(), bytes, max_wait, wake_fd);
  dropped_bytes_ += bytes.size() - report.written;
  return report;
}

void Pty::CloseMaster() {
  std::lock_guard lock(mutex_);
  master_fd_ = -1;
  master_.Reset();
  slave_.Reset();
}

bool Pty::WaitDrained(std::chrono::milliseconds timeout) const {
  using Clock = std::chrono::steady_clock;
  constexpr auto kSettle = std::chrono::milliseconds(20);
  constexpr auto kProbe = std::chrono::milliseconds(2);
  const Clock::time_point deadline = Clock::now() + timeout;
  Clock::time_point empty_since{};
  bool empty = false;
  for (;;) {
    int queued = 0;
    {
      std::lock_guard lock(mutex_);
      if (!slave_.Valid() || ::ioctl(slave_.Get(), TIOCINQ, &queued) != 0) {
        return false;
      }
    }
    const Clock::time_point now = Clock::now();
    if (queued > 0) {
      empty = false;
    } else if (!empty) {
      empty = true;
      empty_since = now;
    } else if (now - empty_since >= kSettle) {
      // Bytes still travelling from the master into the slave's queue show up within this time.
      return true;
    }
    if (now >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(kProbe);
  }
}

}  // namespace korvane::sim
