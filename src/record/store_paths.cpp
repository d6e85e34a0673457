// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "korvane/record/store.h"
#include "store_fault.h"

namespace korvane::record {
namespace {

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') {
    return home;
  }
  passwd entry{};
  passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr) {
    return entry.pw_dir;
  }
  throw StoreError(StoreFault::kOther, "No home folder for the recordings: HOME is not set");
}

}  // namespace

std::string MoveAside(const std::string& path) {
  if (!Exists(path)) {
    throw detail::ErrnoError(ENOENT, path);
  }
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  ::gmtime_r(&now, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
  const std::string base = path + ".corrupt-" + stamp;
  std::string target = base;
  for (int n = 2; Exists(target) || Exists(target + "-wal") || Exists(target + "-shm"); ++n) {
    target = base + "-" + std::to_string(n);
  }
  // The WAL first: a WAL left at `path` would be replayed into the next new store there. The
  // moved file keeps its WAL beside it under SQLite's naming, so it can still be examined.
  for (const char* suffix : {"-wal", "-shm", ""}) {
    const std::string from = path + suffix;
    if (std::rename(from.c_str(), (target + suffix).c_str()) != 0 && errno != ENOENT) {
      throw detail::ErrnoError(errno, from);
    }
  }
  return target;
}

fileio::UniqueFd LockBesideStore(const std::string& name, const std::string& held) {
  fileio::UniqueFd fd(::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644));
  if (!fd.Valid()) {
    throw StoreError(StoreFault::kReadOnly,
                     "Cannot write to " + name + " (" + std::strerror(errno) + ")");
  }
  if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    throw StoreError(
        error == EWOULDBLOCK ? StoreFault::kLocked : StoreFault::kOther,
        held + (error == EWOULDBLOCK ? "" : std::string(" (") + std::strerror(error) + ")"));
  }
  return fd;
}

std::string RecorderLockName(const std::string& path) {
  return path + ".lock";
}

bool RecorderHolds(const std::string& path) {
  fileio::UniqueFd fd(::open(RecorderLockName(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (!fd.Valid()) {
    // No lock file: no recorder ever held it. One that cannot be read may be held.
    return errno != ENOENT;
  }
  // A shared lock is refused only while a recorder holds the exclusive one.
  return ::flock(fd.Get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

std::string DefaultStorePath() {
  const char* data = std::getenv("XDG_DATA_HOME");
  // The XDG rule: a relative value is invalid and ignored.
  const std::string folder =
      data != nullptr && data[0] == '/' ? std::string(data) : HomeFolder() + "/.local/share";
  return folder + "/Korvane Connect/recordings.sqlite";
}

}  // namespace korvane::record
