// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/web/store_pool.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace korvane::web {

StorePool::Lease StorePool::Take() {
  {
    std::lock_guard guard(mutex_);
    if (!idle_.empty()) {
      std::unique_ptr<record::Store> store = std::move(idle_.back());
      idle_.pop_back();
      return Lease(*this, std::move(store));
    }
  }
  // A reader never creates the file; a missing one is said so plainly.
  struct stat info {};
  if (::stat(path_.c_str(), &info) != 0) {
    throw record::StoreError(record::StoreFault::kOther, "cannot open the recordings file " +
                                                             path_ + ": " + std::strerror(errno));
  }
  return Lease(*this, std::make_unique<record::Store>(path_, record::StoreAccess::kRead));
}

void StorePool::Return(std::unique_ptr<record::Store> store) {
  if (!store) {
    return;
  }
  std::lock_guard guard(mutex_);
  idle_.push_back(std::move(store));
}

}  // namespace korvane::web
