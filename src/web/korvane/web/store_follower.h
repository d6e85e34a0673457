// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

#include "korvane/web/live_slot.h"
#include "korvane/web/store_pool.h"

namespace korvane::web {

// Feeds the live state from a store that another program records into: its newest frame, the
// runs in progress and whether a recorder holds it. A thread of its own polls the store every
// interval while a listener is counted, and sleeps otherwise; Poll reads it at once for a single
// request. Thread-safe.
class StoreFollower {
 public:
  StoreFollower(StorePool& pool, LiveSlot& live,
                std::chrono::milliseconds interval = std::chrono::milliseconds(500));
  ~StoreFollower();
  StoreFollower(const StoreFollower&) = delete;
  StoreFollower& operator=(const StoreFollower&) = delete;

  void AddListener();
  void RemoveListener();
  // Reads the store now. A store that cannot be read is left for the next poll (the live state
  // keeps what it had, and the link's detail says why).
  void Poll();

 private:
  void Run();
  void Read(const record::Store& store);

  StorePool& pool_;
  LiveSlot& live_;
  const std::chrono::milliseconds interval_;

  std::mutex mutex_;  // guards listeners_ and stopping_
  std::condition_variable wake_;
  int listeners_ = 0;
  bool stopping_ = false;

  std::mutex poll_mutex_;  // one Poll at a time; guards what it has seen, below
  std::int64_t last_frame_ = -1;
  bool recording_ = false;
  std::int64_t watch_from_ = 0;  // runs of a greater id may still change
  std::map<std::int64_t, record::RunSummary> watched_;
  std::string problem_;

  std::thread thread_;  // last: started when everything above is ready
};

}  // namespace korvane::web
