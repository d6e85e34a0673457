// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

#include "korvane/sim/line.h"
#include "korvane/sim/unique_fd.h"

namespace korvane::sim {

// Puts `fd` (a tty) in raw mode at 9600 baud, 8 data bits, no parity, 1 stop bit, no flow
// control, modem lines ignored. Throws std::system_error.
void SetRawSerial(int fd);

// An existing tty the simulator transmits on (a real serial port, or a pty slave made by someone
// else). The descriptor is non-blocking; the tty's own output queue paces the line.
class SerialDevice final : public Line {
 public:
  static std::unique_ptr<SerialDevice> Open(const std::string& path);  // throws std::system_error
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  const std::string& Path() const { return path_; }
  WriteReport Send(std::string_view bytes, std::chrono::milliseconds max_wait,
                   int wake_fd) override;

 private:
  SerialDevice(UniqueFd fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}

  UniqueFd fd_;
  const std::string path_;
};

}  // namespace korvane::sim
