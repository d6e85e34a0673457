// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "korvane/record/store.h"

namespace korvane::web {

// Read-only connections to one store for the web's threads: a thread leases one for a request,
// so no Store is ever used by two threads at once, and the recorder's own connection is never
// touched. Connections are opened on demand and kept for reuse. Thread-safe.
class StorePool {
 public:
  explicit StorePool(std::string path) : path_(std::move(path)) {}

  class Lease {
   public:
    Lease(StorePool& pool, std::unique_ptr<record::Store> store)
        : pool_(pool), store_(std::move(store)) {}
    ~Lease() { pool_.Return(std::move(store_)); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    record::Store& operator*() const { return *store_; }
    record::Store* operator->() const { return store_.get(); }

   private:
    StorePool& pool_;
    std::unique_ptr<record::Store> store_;
  };

  // A connection for this thread until the lease ends. Throws record::StoreError when the file
  // cannot be opened (missing, unreadable, not a recording).
  Lease Take();
  const std::string& Path() const { return path_; }

 private:
  void Return(std::unique_ptr<record::Store> store);

  const std::string path_;
  std::mutex mutex_;  // guards idle_
  std::vector<std::unique_ptr<record::Store>> idle_;
};

}  // namespace korvane::web
