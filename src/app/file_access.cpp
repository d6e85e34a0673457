#include "korvane/app/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace korvane::app {
namespace {

constexpr const char* kNotRegular = "Not a regular file";

std::string ErrnoText(int error) {
  return std::strerror(error);
}

[[noreturn]] void Fail(int error) {
  throw std::runtime_error(ErrnoText(error));
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
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      return path;
    }
    std::string target(4096, '\0');
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length < 0) {
      Fail(errno);
    }
    target.resize(static_cast<std::size_t>(length));
    path = target.starts_with('/') ? target : DirName(path) + "/" + target;
  }
  Fail(ELOOP);
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  int get() const { return fd_; }
  // Closes now and reports the result, which for a written file can be a late write error.
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

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

// Creates a new file beside `target` with O_EXCL; the open mode lets the umask apply.
int CreateTemporary(const std::string& target, std::string& name) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = folder + "." + base + "." + std::to_string(getpid()) + "." +
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

FileContents ReadRegularFile(const std::string& path, std::size_t limit) {
  FileContents contents;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    contents.status =
        errno == ENOENT ? FileContents::Status::kMissing : FileContents::Status::kFailed;
    contents.reason = ErrnoText(errno);
    return contents;
  }
  Descriptor file(fd);
  contents.status = FileContents::Status::kFailed;
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    contents.reason = ErrnoText(errno);
    return contents;
  }
  if (!S_ISREG(info.st_mode)) {
    contents.reason = S_ISDIR(info.st_mode) ? ErrnoText(EISDIR) : kNotRegular;
    return contents;
  }
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      contents.reason = ErrnoText(errno);
      contents.bytes.clear();
      return contents;
    }
    if (got == 0) {
      break;
    }
    if (contents.bytes.size() + static_cast<std::size_t>(got) > limit) {
      contents.reason = ErrnoText(EFBIG);
      contents.bytes.clear();
      return contents;
    }
    contents.bytes.append(buffer, static_cast<std::size_t>(got));
  }
  contents.status = FileContents::Status::kRead;
  return contents;
}

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
  const std::string target = ResolveLinks(path);
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) {
    throw std::runtime_error(S_ISDIR(old.st_mode) ? ErrnoText(EISDIR) : kNotRegular);
  }

  std::string temporary;
  Descriptor file(CreateTemporary(target, temporary));
  if (file.get() < 0) {
    Fail(errno);
  }
  try {
    if (exists) {
      // An administrator saving a user's file leaves it the user's.
      if (geteuid() == 0 && (old.st_uid != 0 || old.st_gid != 0)) {
        [[maybe_unused]] const int ignored = fchown(file.get(), old.st_uid, old.st_gid);
      }
      if (fchmod(file.get(), old.st_mode & 07777) != 0) {
        Fail(errno);
      }
    }
    WriteAll(file.get(), bytes);
    if (fsync(file.get()) != 0 || file.Close() != 0) {
      Fail(errno);
    }
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
      Fail(errno);
    }
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  // Makes the rename itself durable; the new contents are in place whether or not this works.
  const int folder = ::open(DirName(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    ::close(folder);
  }
}

bool MakeDirectories(const std::string& path) {
  std::size_t position = 0;
  while (position != std::string::npos) {
    position = path.find('/', position + 1);
    const std::string prefix = path.substr(0, position);
    if (!prefix.empty()) {
      ::mkdir(prefix.c_str(), 0777);
    }
  }
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace korvane::app
