// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/event_sound.h"

#include <canberra.h>

namespace korvane::ui {

EventSound::~EventSound() {
  {
    std::lock_guard guard(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (worker_.joinable()) {
    worker_.join();
  }
}

void EventSound::Play(std::string event_id, std::string description) {
  {
    std::lock_guard guard(mutex_);
    queue_.push_back({std::move(event_id), std::move(description)});
    if (!worker_.joinable()) {
      worker_ = std::thread([this] { Serve(); });
    }
  }
  wake_.notify_all();
}

std::size_t EventSound::Tried() const {
  std::lock_guard guard(mutex_);
  return tried_;
}

void EventSound::Serve() {
  ca_context* context = nullptr;
  if (ca_context_create(&context) == CA_SUCCESS) {
    ca_context_change_props(context, CA_PROP_APPLICATION_NAME, "Korvane Connect",
                            CA_PROP_APPLICATION_ID, "korvane-connect",
                            CA_PROP_APPLICATION_ICON_NAME, "korvane-connect", nullptr);
  } else {
    context = nullptr;
  }
  std::unique_lock guard(mutex_);
  for (;;) {
    wake_.wait(guard, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) {
      break;
    }
    const Request request = std::move(queue_.front());
    queue_.pop_front();
    guard.unlock();
    if (context != nullptr) {
      // The result is not looked at: a missing server, card or theme file means silence.
      ca_context_play(context, 0, CA_PROP_EVENT_ID, request.event_id.c_str(),
                      CA_PROP_EVENT_DESCRIPTION, request.description.c_str(), nullptr);
    }
    guard.lock();
    ++tried_;
  }
  guard.unlock();
  if (context != nullptr) {
    ca_context_destroy(context);
  }
}

}  // namespace korvane::ui
