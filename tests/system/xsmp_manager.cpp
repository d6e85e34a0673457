// SPDX-License-Identifier: GPL-3.0-or-later
#include "xsmp_manager.h"

#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

// libICE exports xtrans' switch that keeps a transport from listening but does not declare it.
extern "C" int _IceTransNoListen(const char* protocol);

namespace korvane::system_test {
namespace {

XsmpManager::Heard* g_heard = nullptr;  // the running manager's record, for the error handlers
struct sigaction g_old_sigpipe {};

void RecordError(const char* where, int error_class, int severity) {
  if (g_heard != nullptr) {
    g_heard->errors.push_back(std::string(where) + " error class " + std::to_string(error_class) +
                              " severity " + std::to_string(severity));
  }
}

// The defaults print and exit the process; a broken client is the test's business instead.
void OnIceIoError(IceConn) {}
void OnIceError(IceConn, Bool, int, unsigned long, int error_class, int severity, IcePointer) {
  RecordError("ICE", error_class, severity);
}
void OnSmsError(SmsConn, Bool, int, unsigned long, int error_class, int severity, SmPointer) {
  RecordError("XSMP", error_class, severity);
}

// Only local transports listen, so whoever connects is on this machine.
Bool AcceptLocalPeer(char*) {
  return True;
}

XsmpManager& Self(SmPointer data) {
  return *static_cast<XsmpManager*>(data);
}

}  // namespace

XsmpManager::XsmpManager() {
  g_heard = &heard_;
  old_io_handler_ = IceSetIOErrorHandler(OnIceIoError);
  old_ice_handler_ = IceSetErrorHandler(OnIceError);
  old_sms_handler_ = SmsSetErrorHandler(OnSmsError);
  // A write to a client that has gone must fail, not kill the test.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &g_old_sigpipe);

  char error[256] = "";
  if (!SmsInitialize("korvane-test", "1.0", NewClient, this, AcceptLocalPeer, sizeof error,
                     error)) {
    throw std::runtime_error(std::string("SmsInitialize: ") + error);
  }
  _IceTransNoListen("tcp");
  if (!IceListenForConnections(&listen_count_, &listen_, sizeof error, error)) {
    throw std::runtime_error(std::string("IceListenForConnections: ") + error);
  }
  for (int i = 0; i < listen_count_; ++i) {
    IceSetHostBasedAuthProc(listen_[i], AcceptLocalPeer);
    char* id = IceGetListenConnectionString(listen_[i]);
    const std::string text = id;
    std::free(id);
    if (!text.starts_with("local/") && !text.starts_with("unix/")) {
      IceFreeListenObjs(listen_count_, listen_);
      listen_ = nullptr;
      throw std::runtime_error("listening on a non-local transport: " + text);
    }
  }
  char* ids = IceComposeNetworkIdList(listen_count_, listen_);
  network_ids_ = ids;
  std::free(ids);
}

XsmpManager::~XsmpManager() {
  while (!connections_.empty()) {
    Drop(connections_.back());
  }
  if (listen_ != nullptr) {
    IceFreeListenObjs(listen_count_, listen_);
  }
  IceSetIOErrorHandler(old_io_handler_);
  IceSetErrorHandler(old_ice_handler_);
  SmsSetErrorHandler(old_sms_handler_);
  sigaction(SIGPIPE, &g_old_sigpipe, nullptr);
  g_heard = nullptr;
}

Status XsmpManager::NewClient(SmsConn conn, SmPointer self, unsigned long* mask,
                              SmsCallbacks* callbacks, char**) {
  Self(self).client_ = conn;
  *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask |
          SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask |
          SmsSaveYourselfDoneProcMask | SmsCloseConnectionProcMask | SmsSetPropertiesProcMask |
          SmsDeletePropertiesProcMask | SmsGetPropertiesProcMask;
  *callbacks = {};
  callbacks->register_client = {[](SmsConn c, SmPointer d, char* previous_id) -> Status {
                                  std::free(previous_id);
                                  char id[] = "1korvane-test";  // only its uniqueness matters
                                  Self(d).heard_.registered = SmsRegisterClientReply(c, id) != 0;
                                  return Self(d).heard_.registered;
                                },
                                self};
  callbacks->interact_request = {[](SmsConn c, SmPointer d, int) {
                                   ++Self(d).heard_.interact_requests;
                                   SmsInteract(c);
                                 },
                                 self};
  callbacks->interact_done = {[](SmsConn, SmPointer, Bool) {}, self};
  callbacks->save_yourself_request = {[](SmsConn, SmPointer, int, Bool, int, Bool, Bool) {}, self};
  callbacks->save_yourself_phase2_request = {[](SmsConn c, SmPointer) { SmsSaveYourselfPhase2(c); },
                                             self};
  callbacks->save_yourself_done = {[](SmsConn, SmPointer d, Bool success) {
                                     ++Self(d).heard_.saves_done;
                                     Self(d).heard_.last_save_succeeded = success != 0;
                                   },
                                   self};
  callbacks->close_connection = {[](SmsConn c, SmPointer d, int count, char** reasons) {
                                   SmFreeReasons(count, reasons);
                                   Self(d).client_ = nullptr;
                                   IceConn ice = SmsGetIceConnection(c);
                                   SmsCleanUp(c);
                                   IceSetShutdownNegotiation(ice, False);
                                   IceCloseConnection(ice);  // freed when its dispatch returns
                                 },
                                 self};
  callbacks->set_properties = {[](SmsConn, SmPointer, int count, SmProp** props) {
                                 for (int i = 0; i < count; ++i) {
                                   SmFreeProperty(props[i]);
                                 }
                                 std::free(props);
                               },
                               self};
  callbacks->delete_properties = {[](SmsConn, SmPointer, int count, char** names) {
                                    for (int i = 0; i < count; ++i) {
                                      std::free(names[i]);
                                    }
                                    std::free(names);
                                  },
                                  self};
  callbacks->get_properties = {[](SmsConn c, SmPointer) { SmsReturnProperties(c, 0, nullptr); },
                               self};
  return 1;
}

bool XsmpManager::ServeUntil(const std::function<bool()>& condition,
                             std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    ServeOnce(20);
  }
  return true;
}

void XsmpManager::ServeOnce(int timeout_ms) {
  std::vector<pollfd> fds;
  for (int i = 0; i < listen_count_; ++i) {
    fds.push_back({IceGetListenConnectionNumber(listen_[i]), POLLIN, 0});
  }
  for (IceConn ice : connections_) {
    fds.push_back({IceConnectionNumber(ice), POLLIN, 0});
  }
  if (poll(fds.data(), fds.size(), timeout_ms) <= 0) {
    return;
  }
  const std::vector<IceConn> served = connections_;  // accepting below adds to connections_
  for (int i = 0; i < listen_count_; ++i) {
    if (fds[i].revents != 0) {
      IceAcceptStatus status;
      if (IceConn ice = IceAcceptConnection(listen_[i], &status)) {
        connections_.push_back(ice);
      }
    }
  }
  for (std::size_t i = 0; i < served.size(); ++i) {
    if (fds[listen_count_ + i].revents == 0) {
      continue;
    }
    IceConn ice = served[i];
    const IceProcessMessagesStatus status = IceProcessMessages(ice, nullptr, nullptr);
    if (status == IceProcessMessagesConnectionClosed) {
      std::erase(connections_, ice);
    } else if (status == IceProcessMessagesIOError ||
               IceConnectionStatus(ice) == IceConnectRejected) {
      Drop(ice);
    }
  }
}

void XsmpManager::Drop(IceConn ice) {
  if (client_ != nullptr && SmsGetIceConnection(client_) == ice) {
    SmsCleanUp(client_);
    client_ = nullptr;
  }
  std::erase(connections_, ice);
  IceSetShutdownNegotiation(ice, False);
  IceCloseConnection(ice);
}

bool XsmpManager::SaveYourself(int save_type, bool shutdown, int interact_style, bool fast) {
  const bool ready = client_ != nullptr && heard_.registered;
  if (ready) {
    SmsSaveYourself(client_, save_type, shutdown, interact_style, fast);
  }
  return ready;
}

bool XsmpManager::Send(void (*request)(SmsConn)) {
  const bool ready = client_ != nullptr && heard_.registered;
  if (ready) {
    request(client_);
  }
  return ready;
}

}  // namespace korvane::system_test
