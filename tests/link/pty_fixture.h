// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>
#include <poll.h>

#include <memory>

#include "korvane/link/port_map.h"
#include "korvane/sim/pty.h"

namespace korvane::link::testing {

inline constexpr int kPtyPort = 7;

// A pseudo-terminal standing in for the charger's serial adapter, reachable as port 7.
class PtyFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    pty_ = sim::Pty::Open();
    ports_.SetOverride(kPtyPort, pty_->SlavePath());
  }

  // Waits until `fd` has something to read or has hung up.
  static bool WaitReadable(int fd, int timeout_ms = 5000) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeout_ms) > 0;
  }

  PortMap ports_;
  std::unique_ptr<sim::Pty> pty_;
};

}  // namespace korvane::link::testing
