#include "korvane/test_support/wait.h"

#include <thread>

namespace korvane::test_support {

bool WaitUntil(const std::function<bool()>& done, WaitClock::time_point deadline,
               const std::function<void()>& between) {
  while (!done()) {
    if (WaitClock::now() >= deadline) {
      return false;
    }
    if (between) {
      between();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return true;
}

}  // namespace korvane::test_support
