#include "korvane/model/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace korvane::model {
namespace {

[[noreturn]] void Fail(const std::string& file_name, int error) {
  throw std::runtime_error("Cannot write the file \"" + file_name +
                           "\": " + std::generic_category().message(error));
}

// Returns 0 or the errno of the failed write.
int WriteAll(int fd, std::string_view contents) {
  while (!contents.empty()) {
    const ssize_t n = ::write(fd, contents.data(), contents.size());
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return errno;
    }
    contents.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

// A file descriptor closed on scope exit; the named file is removed unless committed.
class TempFile {
 public:
  TempFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~TempFile() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    if (!committed_) {
      ::unlink(path_.c_str());
    }
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int Fd() const { return fd_; }
  const std::string& Path() const { return path_; }
  // Returns 0 or errno.
  int Close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0 ? 0 : errno;
  }
  void Commit() { committed_ = true; }

 private:
  std::string path_;
  int fd_;
  bool committed_ = false;
};

std::string ResolveLink(const std::string& file_name) {
  struct stat st {};
  if (::lstat(file_name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
    return file_name;
  }
  char* real = ::realpath(file_name.c_str(), nullptr);
  if (real == nullptr) {
    return file_name;  // a dangling link is replaced itself
  }
  std::string resolved(real);
  std::free(real);
  return resolved;
}

void WriteInPlace(const std::string& file_name, const std::string& target,
                  std::string_view contents) {
  const int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) {
    Fail(file_name, errno);
  }
  int error = WriteAll(fd, contents);
  if (::close(fd) != 0 && error == 0) {
    error = errno;
  }
  if (error != 0) {
    Fail(file_name, error);
  }
}

TempFile CreateTempBeside(const std::string& file_name, const std::string& target) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = dir + "." + base + "." + std::to_string(::getpid()) + "." +
                       std::to_string(counter.fetch_add(1)) + ".tmp";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      return TempFile(std::move(path), fd);
    }
    if (errno != EEXIST) {
      Fail(file_name, errno);
    }
  }
  Fail(file_name, EEXIST);
}

}  // namespace

void ReplaceFileContents(const std::string& file_name, std::string_view contents) {
  const std::string target = ResolveLink(file_name);
  struct stat st {};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    WriteInPlace(file_name, target, contents);
    return;
  }
  TempFile temp = CreateTempBeside(file_name, target);
  if (exists) {
    ::fchmod(temp.Fd(), st.st_mode & 07777);  // best effort: the contents matter more
  }
  int error = WriteAll(temp.Fd(), contents);
  if (error == 0 && ::fsync(temp.Fd()) != 0) {
    error = errno;
  }
  if (error == 0) {
    error = temp.Close();
  }
  if (error == 0 && ::rename(temp.Path().c_str(), target.c_str()) != 0) {
    error = errno;
  }
  if (error != 0) {
    Fail(file_name, error);
  }
  temp.Commit();
}

}  // namespace korvane::model
