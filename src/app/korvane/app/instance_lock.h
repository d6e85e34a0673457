// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace korvane::app {

// "$XDG_RUNTIME_DIR/Korvane Connect.lock" when that folder is set and exists, else
// "<temp folder>/Korvane Connect-<user id>.lock" ($TMPDIR, else /tmp).
std::string InstanceLockPath();

// An exclusive flock on a lock file, held until Release or destruction. The system drops it
// when the process ends in any way, so a crash leaves no stale lock.
class InstanceLock {
 public:
  enum class State {
    kAcquired,
    kHeldElsewhere,  // another open of the file holds it: another instance runs
    kUnavailable,    // the file cannot be opened or locked; nothing is known about others
    kReleased,
  };

  explicit InstanceLock(const std::string& path);
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  ~InstanceLock();

  State state() const { return state_; }
  // The errno that made the lock unavailable.
  int error() const { return error_; }

  void Release();

 private:
  int fd_ = -1;
  State state_ = State::kUnavailable;
  int error_ = 0;
};

}  // namespace korvane::app
