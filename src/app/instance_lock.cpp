// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/app/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "korvane/app/program_info.h"

namespace korvane::app {
namespace {

bool IsFolder(const char* path) {
  struct stat info {};
  return path != nullptr && path[0] == '/' && ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::string InstanceLockPath() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); IsFolder(runtime)) {
    return std::string(runtime) + "/" + kApplicationTitle + ".lock";
  }
  const char* temp = std::getenv("TMPDIR");
  const std::string folder = IsFolder(temp) ? temp : "/tmp";
  return folder + "/" + kApplicationTitle + "-" + std::to_string(getuid()) + ".lock";
}

InstanceLock::InstanceLock(const std::string& path) {
  // No link is followed: in a shared temp folder another user could plant one.
  fd_ = ::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    error_ = errno;
    return;
  }
  struct stat info {};
  if (fstat(fd_, &info) != 0) {
    error_ = errno;
    Release();
    return;
  }
  if (info.st_uid != geteuid()) {
    error_ = EPERM;
    Release();
    return;
  }
  while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) {
      continue;
    }
    error_ = errno;
    if (error_ == EWOULDBLOCK) {
      state_ = State::kHeldElsewhere;
    }
    Release();
    return;
  }
  state_ = State::kAcquired;
}

InstanceLock::~InstanceLock() {
  Release();
}

void InstanceLock::Release() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (state_ == State::kAcquired) {
    state_ = State::kReleased;
  }
}

}  // namespace korvane::app
