// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sqlite3.h>

#include <string>

#include "korvane/record/store.h"

namespace SQLite {
class Exception;
}

namespace korvane::record::detail {

// The fault of a failed system call's errno: no room, no permission, or something else.
StoreFault FaultFromErrno(int error);

// The fault of an SQLite result code (extended codes allowed). `system_errno` is the errno of
// the failed system call (0 if none); `writable` whether the file and its folder may be written.
StoreFault ClassifyFault(int result_code, int system_errno, bool writable);

// Why this process may not write `path` (when it exists) or create files beside it: an errno,
// 0 when it may.
int WriteAccessError(const std::string& path);

// A message for the user: what the fault means for `path`, then the detail in brackets.
std::string DescribeFault(StoreFault fault, const std::string& path, const std::string& detail);

// The StoreError of a failed SQLite call on `path`; `db` (null when the open itself failed)
// tells the errno of the system call behind it. A reader (kRead) that may not use a file gets
// kOther "Cannot read <path> (<why>)": it never wanted to write.
StoreError ToStoreError(const SQLite::Exception& error, sqlite3* db, const std::string& path,
                        StoreAccess access = StoreAccess::kWrite);

// The StoreError of a failed system call on `path`.
StoreError ErrnoError(int error, const std::string& path);

}  // namespace korvane::record::detail
