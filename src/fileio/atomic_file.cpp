// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/fileio/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

#include "korvane/fileio/unique_fd.h"

namespace korvane::fileio {
namespace {

[[noreturn]] void Fail(int error) {
  throw std::runtime_error(std::generic_category().message(error));
}

std::string DirName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a chain of symbolic links ends at, which need not exist yet.
std::string ResolveLinks(std::string path) {
  for (int depth = 0; depth < 40; ++depth) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      return path;
    }
    std::string target(4096, '\0');
    const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
    if (length < 0) {
      Fail(errno);
    }
    target.resize(static_cast<std::size_t>(length));
    path = target.starts_with('/') ? target : DirName(path) + "/" + target;
  }
  Fail(ELOOP);
}

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      Fail(errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

bool Accepted(mode_t mode, const AtomicWriteOptions& options) {
  return S_ISREG(mode) || (S_ISCHR(mode) && options.write_character_devices);
}

// Opens an existing target for writing, without changing it and without blocking, once the
// options accept its kind. Opening is the test of whether the caller may write it. `info` then
// describes the open file.
UniqueFd OpenExisting(const std::string& target, struct stat& info,
                      const AtomicWriteOptions& options) {
  if (S_ISDIR(info.st_mode)) {
    Fail(EISDIR);
  }
  if (!Accepted(info.st_mode, options)) {
    throw std::runtime_error(kNotRegularFile);
  }
  UniqueFd file(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!file.Valid()) {
    Fail(errno);
  }
  // The target may have been replaced since it was looked at.
  if (::fstat(file.Get(), &info) != 0) {
    Fail(errno);
  }
  if (!Accepted(info.st_mode, options)) {
    throw std::runtime_error(kNotRegularFile);
  }
  // Only the open must not wait (a serial line waits there for its carrier); writes may.
  const int flags = ::fcntl(file.Get(), F_GETFL);
  if (flags < 0 || ::fcntl(file.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
    Fail(errno);
  }
  return file;
}

void WriteInPlace(UniqueFd file, const struct stat& info, std::string_view bytes) {
  const bool regular = S_ISREG(info.st_mode);
  if (regular && ::ftruncate(file.Get(), 0) != 0) {
    Fail(errno);
  }
  WriteAll(file.Get(), bytes);
  if (regular && ::fsync(file.Get()) != 0) {
    Fail(errno);
  }
  if (const int error = file.Close()) {
    Fail(error);
  }
}

// Creates a new file beside `target` with O_EXCL; the open mode lets the umask apply. Gives -1
// and errno on failure.
int CreateTemporary(const std::string& target, std::string& name) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = folder + "." + base + "." + std::to_string(::getpid()) + "." +
           std::to_string(counter.fetch_add(1)) + ".tmp";
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) {
      return fd;
    }
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

void WriteFileAtomically(const std::string& path, std::string_view bytes,
                         const AtomicWriteOptions& options) {
  const std::string target = ResolveLinks(path);
  struct stat old {};
  UniqueFd existing;
  if (::stat(target.c_str(), &old) == 0) {
    existing = OpenExisting(target, old, options);
    if (!S_ISREG(old.st_mode)) {
      WriteInPlace(std::move(existing), old, bytes);
      return;
    }
  } else if (errno != ENOENT) {
    Fail(errno);
  }

  std::string temporary;
  UniqueFd file(CreateTemporary(target, temporary));
  if (!file.Valid()) {
    const int error = errno;
    if (existing.Valid() && options.write_in_place_without_temporary) {
      WriteInPlace(std::move(existing), old, bytes);
      return;
    }
    Fail(error);
  }
  const bool exists = existing.Valid();
  existing.Reset();
  try {
    if (exists) {
      // An administrator saving a user's file leaves it the user's.
      if (::geteuid() == 0 && (old.st_uid != 0 || old.st_gid != 0)) {
        [[maybe_unused]] const int ignored = ::fchown(file.Get(), old.st_uid, old.st_gid);
      }
      if (::fchmod(file.Get(), old.st_mode & 07777) != 0) {
        Fail(errno);
      }
    }
    WriteAll(file.Get(), bytes);
    if (::fsync(file.Get()) != 0) {
      Fail(errno);
    }
    if (const int error = file.Close()) {
      Fail(error);
    }
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
      Fail(errno);
    }
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  // Makes the rename itself durable; the new contents are in place whether or not this works.
  const UniqueFd folder(::open(DirName(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Valid()) {
    ::fsync(folder.Get());
  }
}

}  // namespace korvane::fileio
