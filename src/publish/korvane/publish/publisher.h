// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "korvane/publish/options.h"

namespace korvane::publish {

struct PublisherStatus {
  bool connected = false;
  std::string problem;           // why it is not connected now, "" when unknown or connected
  std::int64_t acked_seq = 0;    // every frame up to this id is acknowledged by the broker
  std::int64_t frames_sent = 0;  // telemetry messages sent in this session, resends included
  int failed_attempts = 0;       // connection attempts failed since the last success
  std::string client_id;         // the one in use, "" until the file is opened
  // The last frame sent on this connection: above acked_seq while frames await acknowledgement.
  std::int64_t sent_seq = 0;
  // The wait before the next connection attempt; while connected, the first wait after a loss.
  std::chrono::milliseconds retry_delay{0};
};

// Publishes every frame and run of a recordings file to an MQTT broker from a thread of its own,
// reading the file through a connection of its own: it never waits for the recorder nor makes
// the recorder wait beyond one short write a second. The broker's acknowledgements advance a
// mark kept in the file under the client id, so after an outage or a restart the frames the
// broker missed are sent first, oldest first, with at most `in_flight` unacknowledged, and then
// the live ones.
class Publisher {
 public:
  struct Options {
    std::string store_path;
    BrokerOptions broker;  // client_id empty: the file's, ClientIdFor(its identity)
    // One line for each change of state: connected, or the cause of a failure (not repeated
    // while the same cause goes on). Called on the publisher's thread; must not call Stop.
    std::function<void(const std::string&)> on_line;
    std::chrono::milliseconds poll{200};
    std::chrono::milliseconds first_retry{1000};
    std::chrono::milliseconds max_retry{60000};
    std::chrono::milliseconds run_refresh{60000};
    int in_flight = 1000;
  };

  explicit Publisher(Options options);
  ~Publisher();
  Publisher(const Publisher&) = delete;
  Publisher& operator=(const Publisher&) = delete;

  // Sends "offline", waits briefly for the acknowledgements under way, keeps the mark and ends
  // the thread. Idempotent.
  void Stop();
  PublisherStatus Status() const;

 private:
  class Worker;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  PublisherStatus status_;
  std::unique_ptr<Worker> worker_;
  std::thread thread_;
};

}  // namespace korvane::publish
