#pragma once

#include <chrono>
#include <thread>

namespace korvane::sim::testing {

// Re-checks `condition` every millisecond until it holds (true) or `timeout` passes (false).
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace korvane::sim::testing
