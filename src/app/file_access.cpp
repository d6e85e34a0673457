// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/app/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "korvane/fileio/atomic_file.h"
#include "korvane/fileio/unique_fd.h"

namespace korvane::app {
namespace {

std::string ErrnoText(int error) {
  return std::generic_category().message(error);
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
  const fileio::UniqueFd file(fd);
  contents.status = FileContents::Status::kFailed;
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    contents.reason = ErrnoText(errno);
    return contents;
  }
  if (!S_ISREG(info.st_mode)) {
    contents.reason = S_ISDIR(info.st_mode) ? ErrnoText(EISDIR) : fileio::kNotRegularFile;
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
