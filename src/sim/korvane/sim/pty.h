// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "korvane/sim/line.h"
#include "korvane/sim/unique_fd.h"

namespace korvane::sim {

// A pseudo-terminal: the simulator writes to the master, the receiver opens SlavePath().
//
// The Pty keeps a slave descriptor of its own for as long as the master is open. That keeps the
// raw 9600 8N1 settings in place from Open() on, whether or not a receiver has the slave open,
// lets master writes queue while the receiver has the port closed, and lets WaitDrained() see
// the receiver's unread bytes. Because of it the master never sees a hang-up from the slave
// side; the receiver sees one only through CloseMaster(), which closes both ends: readers of the
// slave then get POLLHUP and read() 0 or EIO, and the slave path disappears.
//
// Thread-safe: Send/Write may run on one thread while another calls CloseMaster(), which then
// waits for the write in progress (at most its wait for room).
class Pty final : public Line {
 public:
  static constexpr std::chrono::milliseconds kDefaultWriteWait{250};
  static constexpr std::chrono::milliseconds kArrivalWait{1000};

  static std::unique_ptr<Pty> Open();  // throws std::system_error on failure
  ~Pty() override;
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  const std::string& SlavePath() const { return slave_path_; }
  int MasterFd() const { return master_fd_.load(); }  // -1 after CloseMaster()

  // Send() with kDefaultWriteWait and no wake descriptor. True when every byte went out; false
  // when bytes were dropped (queue full, nobody reading) or the master is closed. Returns once
  // the bytes can be read on the slave side (at most kArrivalWait later), so a test that steps
  // its receiver by hand finds them on the receiver's next read.
  bool Write(std::string_view bytes);
  WriteReport Send(std::string_view bytes, std::chrono::milliseconds max_wait,
                   int wake_fd) override;

  // Simulates pulling the cable. Bytes the receiver has not read yet are lost with it; call
  // WaitDrained() first to hand them over.
  void CloseMaster();

  // True once the receiver has read everything written so far (the slave's input queue has
  // stayed empty for a short settling time), false after `timeout` or when the master is closed.
  bool WaitDrained(std::chrono::milliseconds timeout) const;

  std::size_t DroppedBytes() const { return dropped_bytes_.load(); }

 private:
  Pty(UniqueFd master, UniqueFd slave, std::string slave_path);

  mutable std::mutex mutex_;
  UniqueFd master_;
  UniqueFd slave_;
  std::atomic<int> master_fd_;  // readable while a write holds the mutex
  const std::string slave_path_;
  std::atomic<std::size_t> dropped_bytes_{0};
};

}  // namespace korvane::sim
