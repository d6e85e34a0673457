// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/publish/session.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace korvane::publish {
namespace {

constexpr int kKeepAliveS = 30;

void InitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

std::string StatusTopic(const BrokerOptions& options) {
  return options.topic_prefix + "/status";
}

// OpenSSL's reason at the end of libmosquitto's log line: "...:certificate verify failed".
std::string TlsReason(const std::string& log) {
  const std::size_t colon = log.rfind(':');
  return colon == std::string::npos ? log : log.substr(colon + 1);
}

}  // namespace

Session::Session(const BrokerOptions& options, int in_flight) : options_(options) {
  InitLibrary();
  client_ = mosquitto_new(options.client_id.c_str(), false, this);
  if (client_ == nullptr) {
    throw std::bad_alloc();
  }
  mosquitto_connect_callback_set(client_, &Session::OnConnect);
  mosquitto_disconnect_callback_set(client_, &Session::OnDisconnect);
  mosquitto_publish_callback_set(client_, &Session::OnPublish);
  mosquitto_message_callback_set(client_, &Session::OnMessage);
  mosquitto_log_callback_set(client_, &Session::OnLog);
  mosquitto_max_inflight_messages_set(client_, static_cast<unsigned>(in_flight));
  const std::string status = StatusTopic(options);
  mosquitto_will_set(client_, status.c_str(), 7, "offline", 1, true);
  if (!options.user.empty()) {
    mosquitto_username_pw_set(client_, options.user.c_str(),
                              options.password.empty() ? nullptr : options.password.c_str());
  }
  if (!options.cafile.empty() && mosquitto_tls_set(client_, options.cafile.c_str(), nullptr,
                                                   nullptr, nullptr, nullptr) != MOSQ_ERR_SUCCESS) {
    setup_error_ = "TLS failure: cannot use the CA file " + options.cafile;
  }
}

Session::~Session() {
  mosquitto_destroy(client_);
}

std::string Session::Cause(int code) const {
  switch (code) {
    case MOSQ_ERR_EAI:
      return "unknown host " + options_.host;
    case MOSQ_ERR_ERRNO:
      if (errno == ECONNREFUSED) {
        return "connection refused (no broker on port " + std::to_string(options_.port) + ")";
      }
      return std::strerror(errno);
    case MOSQ_ERR_TLS:
      return "TLS failure: " + (last_error_log_.empty() ? std::string("handshake failed")
                                                        : TlsReason(last_error_log_));
    case MOSQ_ERR_CONN_LOST:
      return "connection lost";
    default:
      return mosquitto_strerror(code);
  }
}

std::string Session::Connect(std::chrono::milliseconds timeout,
                             const std::function<bool()>& give_up) {
  if (!setup_error_.empty()) {
    return setup_error_;
  }
  errno = 0;
  // Without waiting for TCP: a broker's host that drops packets would hold the thread for
  // minutes, and with it the program's exit.
  const int code =
      mosquitto_connect_async(client_, options_.host.c_str(), options_.port, kKeepAliveS);
  if (code != MOSQ_ERR_SUCCESS) {
    return Cause(code);
  }
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (connack_ < 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return "no answer from the broker";
    }
    if (give_up()) {
      return "stopped";
    }
    errno = 0;
    const int loop = mosquitto_loop(client_, 100, 1);
    if (loop != MOSQ_ERR_SUCCESS && connack_ < 0) {
      return Cause(loop);
    }
  }
  switch (connack_) {
    case 0:
      return {};
    case 4:
    case 5:
      return "bad credentials: the broker refused user \"" + options_.user + "\" (" +
             mosquitto_connack_string(connack_) + ")";
    default:
      return std::string("refused by the broker: ") + mosquitto_connack_string(connack_);
  }
}

std::string Session::Serve(std::chrono::milliseconds timeout) {
  errno = 0;
  const int code = mosquitto_loop(client_, static_cast<int>(timeout.count()), 1);
  if (code != MOSQ_ERR_SUCCESS || !connected_) {
    connected_ = false;
    return code == MOSQ_ERR_SUCCESS ? "connection lost" : Cause(code);
  }
  return {};
}

int Session::Publish(const std::string& topic, const std::string& payload, bool retain) {
  int mid = 0;
  const int code = mosquitto_publish(client_, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                     payload.data(), 1, retain);
  return code == MOSQ_ERR_SUCCESS ? mid : -1;
}

std::vector<int> Session::TakeAcknowledged() {
  std::vector<int> taken;
  taken.swap(acknowledged_);
  return taken;
}

bool Session::Subscribe(const std::string& filter) {
  return mosquitto_subscribe(client_, nullptr, filter.c_str(), 0) == MOSQ_ERR_SUCCESS;
}

std::vector<Session::Message> Session::TakeMessages() {
  std::vector<Message> taken;
  taken.swap(messages_);
  return taken;
}

void Session::Disconnect() {
  mosquitto_disconnect(client_);
  connected_ = false;
}

void Session::OnConnect(mosquitto*, void* self, int code) {
  auto* session = static_cast<Session*>(self);
  session->connack_ = code;
  session->connected_ = code == 0;
}

void Session::OnDisconnect(mosquitto*, void* self, int) {
  static_cast<Session*>(self)->connected_ = false;
}

void Session::OnPublish(mosquitto*, void* self, int mid) {
  static_cast<Session*>(self)->acknowledged_.push_back(mid);
}

void Session::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
  const auto* payload = static_cast<const char*>(message->payload);
  static_cast<Session*>(self)->messages_.push_back(
      {message->topic,
       payload == nullptr ? std::string()
                          : std::string(payload, static_cast<std::size_t>(message->payloadlen)),
       message->retain});
}

void Session::OnLog(mosquitto*, void* self, int level, const char* text) {
  if (level == MOSQ_LOG_ERR && text != nullptr) {
    static_cast<Session*>(self)->last_error_log_ = text;
  }
}

}  // namespace korvane::publish
