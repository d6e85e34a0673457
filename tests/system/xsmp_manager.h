// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace korvane::system_test {

// A minimal X session manager for one client, served from the calling thread. It listens on the
// local (unix socket) ICE transport only, accepts any client that reaches that socket, registers
// it, records what it says and sends it the requests the test asks for.
class XsmpManager {
 public:
  // What the client said so far.
  struct Heard {
    bool registered = false;
    int saves_done = 0;
    bool last_save_succeeded = false;
    int interact_requests = 0;
    std::vector<std::string> errors;  // protocol errors reported by the libraries
  };

  // Throws std::runtime_error when it cannot listen.
  XsmpManager();
  XsmpManager(const XsmpManager&) = delete;
  XsmpManager& operator=(const XsmpManager&) = delete;
  ~XsmpManager();

  // The value for SESSION_MANAGER.
  const std::string& NetworkIds() const { return network_ids_; }
  const Heard& heard() const { return heard_; }

  // Serves new connections and messages until `condition` holds (true) or `timeout` passes.
  bool ServeUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

  // Requests to the registered client; false when there is none.
  bool SaveYourself(int save_type, bool shutdown, int interact_style, bool fast);
  bool SaveComplete() { return Send(SmsSaveComplete); }
  bool ShutdownCancelled() { return Send(SmsShutdownCancelled); }
  bool Die() { return Send(SmsDie); }

 private:
  static Status NewClient(SmsConn conn, SmPointer self, unsigned long* mask,
                          SmsCallbacks* callbacks, char** failure);
  void ServeOnce(int timeout_ms);
  void Drop(IceConn ice);
  bool Send(void (*request)(SmsConn));

  std::string network_ids_;
  int listen_count_ = 0;
  IceListenObj* listen_ = nullptr;
  std::vector<IceConn> connections_;
  SmsConn client_ = nullptr;
  Heard heard_;
  IceIOErrorHandler old_io_handler_ = nullptr;
  IceErrorHandler old_ice_handler_ = nullptr;
  SmsErrorHandler old_sms_handler_ = nullptr;
};

}  // namespace korvane::system_test
