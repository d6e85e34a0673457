// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace korvane::ui {

// Event sounds of the freedesktop sound theme through libcanberra, played on a thread of their
// own so that reaching the sound server never holds up the UI. The context is made once, on the
// first sound. No sound server, no sound card or no theme: silence, no error.
class EventSound {
 public:
  EventSound() = default;
  ~EventSound();
  EventSound(const EventSound&) = delete;
  EventSound& operator=(const EventSound&) = delete;

  // Queues the sound of `event_id` ("complete", "dialog-warning"); returns at once.
  void Play(std::string event_id, std::string description);

  // How many queued sounds have been tried so far, played or not.
  std::size_t Tried() const;

 private:
  struct Request {
    std::string event_id;
    std::string description;
  };
  void Serve();

  mutable std::mutex mutex_;  // guards the queue, the flag and the count
  std::condition_variable wake_;
  std::deque<Request> queue_;
  bool stopping_ = false;
  std::size_t tried_ = 0;
  std::thread worker_;  // started with the first sound
};

}  // namespace korvane::ui
