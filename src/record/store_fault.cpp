// SPDX-License-Identifier: GPL-3.0-or-later
#include "store_fault.h"

#include <SQLiteCpp/Exception.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace korvane::record::detail {

StoreFault FaultFromErrno(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:  // a file-size limit: the store cannot grow either
      return StoreFault::kFull;
    case EACCES:
    case EPERM:
    case EROFS:
      return StoreFault::kReadOnly;
    default:
      return StoreFault::kOther;
  }
}

StoreFault ClassifyFault(int result_code, int system_errno, bool writable) {
  switch (result_code & 0xff) {
    case SQLITE_FULL:
      return StoreFault::kFull;
    case SQLITE_READONLY:
    case SQLITE_PERM:
      return StoreFault::kReadOnly;
    case SQLITE_CANTOPEN:
      // SQLite retries a failed open read-only, so its errno may say only "no such file".
      return writable ? FaultFromErrno(system_errno) : StoreFault::kReadOnly;
    case SQLITE_IOERR:
      return FaultFromErrno(system_errno);
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return StoreFault::kLocked;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return StoreFault::kCorrupt;
    default:
      return StoreFault::kOther;
  }
}

int WriteAccessError(const std::string& path) {
  const std::filesystem::path file(path);
  const std::string folder = file.has_parent_path() ? file.parent_path().string() : ".";
  if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), R_OK | W_OK) != 0) {
    return errno;
  }
  return ::access(folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

std::string DescribeFault(StoreFault fault, const std::string& path, const std::string& detail) {
  std::string text;
  switch (fault) {
    case StoreFault::kFull:
      text = "No room to record in " + path;
      break;
    case StoreFault::kReadOnly:
      text = "Cannot write to " + path;
      break;
    case StoreFault::kLocked:
      text = path + " is in use by another program";
      break;
    case StoreFault::kCorrupt:
      text = path + " is damaged or not a recording";
      break;
    case StoreFault::kNone:
    case StoreFault::kOther:
      text = "Cannot use " + path;
      break;
  }
  return detail.empty() ? text : text + " (" + detail + ")";
}

namespace {

int SystemErrno(sqlite3* db) {
  if (db == nullptr) {
    return 0;
  }
  if (const int error = sqlite3_system_errno(db); error != 0) {
    return error;
  }
  // A failure while committing leaves the errno only with the file that failed: the WAL
  // (or rollback journal) or the database file itself.
  int error = 0;
  sqlite3_file* journal = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_JOURNAL_POINTER, &journal) == SQLITE_OK &&
      journal != nullptr && journal->pMethods != nullptr &&
      journal->pMethods->xFileControl(journal, SQLITE_FCNTL_LAST_ERRNO, &error) == SQLITE_OK &&
      error != 0) {
    return error;
  }
  sqlite3_file_control(db, "main", SQLITE_FCNTL_LAST_ERRNO, &error);
  return error;
}

// Why this process may not read `path` or the -wal and -shm beside it; "" when it may.
std::string ReadAccessProblem(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm"}) {
    const std::string file = path + suffix;
    if (::access(file.c_str(), R_OK) != 0 && (suffix[0] == '\0' || errno != ENOENT)) {
      return (suffix[0] == '\0' ? "" : file + ": ") + std::strerror(errno);
    }
  }
  return {};
}

}  // namespace

StoreError ToStoreError(const SQLite::Exception& error, sqlite3* db, const std::string& path,
                        StoreAccess access) {
  const int system_errno = SystemErrno(db);
  const int code =
      error.getExtendedErrorCode() >= 0 ? error.getExtendedErrorCode() : error.getErrorCode();
  const int access_error = WriteAccessError(path);
  const StoreFault fault = ClassifyFault(code, system_errno, access_error == 0);
  if (access == StoreAccess::kRead && fault != StoreFault::kCorrupt &&
      fault != StoreFault::kLocked) {
    const std::string problem = ReadAccessProblem(path);
    return StoreError(StoreFault::kOther, "Cannot read " + path + " (" +
                                              (problem.empty() ? error.what() : problem) + ")");
  }
  // SQLite says only "disk I/O error" or "unable to open database file" where the system's
  // reason is the useful part.
  std::string detail = error.what();
  if ((code & 0xff) == SQLITE_IOERR && system_errno != 0) {
    detail = std::strerror(system_errno);
  } else if ((code & 0xff) == SQLITE_CANTOPEN && access_error != 0) {
    detail = std::strerror(access_error);
  }
  return StoreError(fault, DescribeFault(fault, path, detail));
}

StoreError ErrnoError(int error, const std::string& path) {
  const StoreFault fault = FaultFromErrno(error);
  return StoreError(fault, DescribeFault(fault, path, std::strerror(error)));
}

}  // namespace korvane::record::detail
