// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "korvane/publish/options.h"

struct mosquitto;
struct mosquitto_message;

namespace korvane::publish {

// One connection to the broker on libmosquitto, driven by the thread that owns it (no thread of
// its own): MQTT 3.1.1, a persistent session under the client id, the last will "offline" on
// PREFIX/status. A lost connection is not resumed: the owner makes a new Session, so nothing
// of an old connection lingers in memory.
class Session {
 public:
  // `in_flight` caps the QoS 1 messages sent and not yet acknowledged.
  Session(const BrokerOptions& options, int in_flight);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Connects and waits up to `timeout` for the broker to accept, giving up early once `give_up`
  // holds (asked every 100 ms; only the host lookup cannot be cut short). Returns "" when
  // connected, else the cause in a few words ("unknown host", "connection refused", "bad
  // credentials ...", "TLS failure: ...").
  std::string Connect(std::chrono::milliseconds timeout, const std::function<bool()>& give_up);

  // Serves the connection, waiting up to `timeout` for traffic. Returns "" while connected,
  // else why it was lost.
  std::string Serve(std::chrono::milliseconds timeout);

  // Queues a message; returns its message id, or -1 when the connection refuses it.
  int Publish(const std::string& topic, const std::string& payload, bool retain);

  // The message ids the broker acknowledged since the last call.
  std::vector<int> TakeAcknowledged();

  // Subscribes at QoS 0, so that an offline session queues nothing. Returns false when the
  // connection refuses it.
  bool Subscribe(const std::string& filter);

  struct Message {
    std::string topic;
    std::string payload;
    bool retained = false;  // delivered because it was retained, not sent just now
  };
  // The messages of the subscriptions that arrived since the last call.
  std::vector<Message> TakeMessages();

  // Says goodbye to the broker (no last will is sent).
  void Disconnect();

 private:
  static void OnConnect(mosquitto*, void* self, int code);
  static void OnDisconnect(mosquitto*, void* self, int code);
  static void OnPublish(mosquitto*, void* self, int mid);
  static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
  static void OnLog(mosquitto*, void* self, int level, const char* text);
  std::string Cause(int code) const;

  mosquitto* client_ = nullptr;
  BrokerOptions options_;
  std::string setup_error_;  // a fault found before connecting (e.g. an unreadable CA file)
  int connack_ = -1;         // -1 until the broker answered
  bool connected_ = false;
  std::string last_error_log_;  // libmosquitto's last error line, for TLS details
  std::vector<int> acknowledged_;
  std::vector<Message> messages_;
};

}  // namespace korvane::publish
