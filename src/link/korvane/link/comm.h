// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "korvane/link/open_failure.h"

namespace korvane::link {

class PortMap;

// Result codes of TComm. Every failure is one of these; TComm never throws.
enum CommResult : int {
  kCommOk = 0,
  kCommPortNumberTooHigh = -1000,  // above 99; nothing attempted
  kCommOpenFailed = -999,          // no such device, no permission, or held by another program
  kCommBufferSizesRefused = -998,
  kCommGetStateFailed = -997,  // not a terminal, or its settings cannot be read
  kCommSetStateFailed = -996,
  kCommGetTimeoutsFailed = -995,  // settings could not be read back
  kCommSetTimeoutsFailed = -994,  // settings read back differ from the ones written
  kCommSetMaskFailed = -993,      // modem lines could not be dropped
  kCommReadFailed = -992,         // read error while the line stays up
  kCommHungUp = -991,             // the device hung up (cable pulled, adapter unplugged)
  kCommCloseFailed = -989,
};

// The charger's serial port: 9600 baud, 8 data bits, no parity, 1 stop bit, no handshaking,
// DTR and RTS off, raw bytes, reads that return at once. Receive-only. Opened exclusively: a
// second opener (another program, or a second instance of this one) is refused.
// Not thread-safe; one owner (the acquisition thread) uses it.
class TComm {
 public:
  static constexpr int kMaxPortNumber = 99;

  // The read system call; tests substitute one that fails as a faulty device's reads do.
  using ReadCall = std::function<ssize_t(int fd, void* buffer, std::size_t count)>;

  explicit TComm(const PortMap& ports);
  ~TComm();
  TComm(const TComm&) = delete;
  TComm& operator=(const TComm&) = delete;

  // Opens the device that `port_number` maps to. Returns 0 or a negative CommResult. A failure
  // after the device was opened leaves it held (half-open) until Close. When `reason` is given,
  // it receives the device path and why the open failed (empty on success); LastFailure keeps
  // the same with the OS error.
  int Open(int port_number, std::string* reason = nullptr);
  int Close();

  // Stores up to `count` bytes that have already arrived; 0 when none. kCommHungUp when the
  // device has hung up, whether or not the read itself failed; kCommReadFailed on a read error
  // while the line stays up, which leaves pending input in place.
  int Read(void* buffer, int count);

  // Drops pending input and output. Returns whether the OS call succeeded.
  bool Purge();
  // Line error state; the terminal layer keeps none that needs clearing, so always 0.
  std::uint32_t ClearErrors();

  // What the last Open met; its detail is empty when that open succeeded.
  const OpenFailure& LastFailure() const { return failure_; }
  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  void SetReadCall(ReadCall call) { read_ = std::move(call); }

 private:
  int OpenDevice(int port_number, std::string& reason);
  int Configure(std::string* reason);

  const PortMap& ports_;
  int fd_ = -1;
  ReadCall read_;
  OpenFailure failure_;
};

}  // namespace korvane::link
