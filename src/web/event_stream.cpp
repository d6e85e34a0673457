// SPDX-License-Identifier: GPL-3.0-or-later
// /api/events: the live state as Server-Sent Events. Each client's stream runs on one of the
// server's threads and only reads the LiveSlot; a client that reads slowly gets the latest state
// when it can take more, and one that stops reading is cut off by the write timeout.

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "routes.h"

namespace korvane::web::detail {
namespace {

using Clock = std::chrono::steady_clock;

// How often a waiting stream looks whether the server stops.
constexpr std::chrono::milliseconds kStopCheck{250};

class EventSession {
 public:
  explicit EventSession(Context& context) : context_(context) {
    context_.live.ChangedRuns(runs_cursor_);  // only the changes from now on
    if (context_.follower) {
      context_.follower->AddListener();
    }
  }
  ~EventSession() {
    if (context_.follower) {
      context_.follower->RemoveListener();
    }
    --context_.event_clients;
  }
  EventSession(const EventSession&) = delete;
  EventSession& operator=(const EventSession&) = delete;

  // One step of the stream: false ends it (the server stops, or the client is gone).
  bool Pump(httplib::DataSink& sink) {
    if (context_.stopping) {
      return false;
    }
    const Clock::time_point now = Clock::now();
    if (!started_) {
      started_ = true;
      // A fresh connection (also after a restart of the program) gets the state at once.
      return SendLive(sink, "retry: 2000\n\n", now);
    }
    const Clock::time_point due = last_sent_ + context_.options.min_event_interval;
    if (now < due) {
      // Paced: a frame that comes meanwhile waits in the slot, and a newer one replaces it.
      std::this_thread::sleep_until(std::min(due, now + kStopCheck));
      return true;
    }
    const std::uint64_t version = context_.live.WaitNewer(
        version_, std::min(last_written_ + context_.options.keep_alive_comment, now + kStopCheck));
    std::string text;
    const std::vector<std::int64_t> changed = context_.live.ChangedRuns(runs_cursor_);
    if (!changed.empty()) {
      text += "event: runs\ndata: " + nlohmann::json{{"changed", changed}}.dump() + "\n\n";
    }
    if (version != version_) {
      return SendLive(sink, text, Clock::now());
    }
    if (text.empty() && Clock::now() >= last_written_ + context_.options.keep_alive_comment) {
      text = ": keep-alive\n\n";
    }
    return text.empty() || Write(sink, text, Clock::now());
  }

 private:
  bool SendLive(httplib::DataSink& sink, std::string text, Clock::time_point now) {
    const LiveState state = context_.live.Latest(&version_);
    text += "event: live\ndata: " + LiveJson(state) + "\n\n";
    last_sent_ = now;
    return Write(sink, text, now);
  }

  bool Write(httplib::DataSink& sink, const std::string& text, Clock::time_point now) {
    last_written_ = now;
    return sink.write(text.data(), text.size());
  }

  Context& context_;
  bool started_ = false;
  std::uint64_t version_ = 0;
  std::uint64_t runs_cursor_ = 0;
  Clock::time_point last_sent_{};
  Clock::time_point last_written_{};
};

}  // namespace

void AddEventRoute(httplib::Server& server, Context& context) {
  server.Get("/api/events", [&context](const httplib::Request&, httplib::Response& response) {
    if (++context.event_clients > context.options.max_event_clients) {
      --context.event_clients;
      response.set_header("Retry-After", "10");
      SendError(response, 429, "too many live clients; try again later");
      return;
    }
    auto session = std::make_shared<EventSession>(context);
    response.set_header("Cache-Control", "no-store");
    // A reverse proxy (nginx) passes the events on at once instead of buffering them.
    response.set_header("X-Accel-Buffering", "no");
    response.set_chunked_content_provider(
        "text/event-stream",
        [session](std::size_t, httplib::DataSink& sink) { return session->Pump(sink); });
  });
}

}  // namespace korvane::web::detail
