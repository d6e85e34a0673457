// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "korvane/web/live_slot.h"

namespace korvane::web {

struct ServerOptions {
  std::string address = "127.0.0.1";  // a name or numeric address of this machine
  int port = 0;                       // 0: a free one (Port() tells which)
  std::string root;        // the page's own files (index.html, runs.html, run.html, static/)
  std::string store_path;  // the recordings file, only ever read
  // serve: the live state is the store's newest frame, followed while a client listens.
  bool follow_store = false;
  // Basic authentication for every request when a password is set.
  std::string user = "korvane";
  std::optional<std::string> password;
  // HTTPS when both are set (PEM files).
  std::string cert_file;
  std::string key_file;
  // The web's threads: each live client holds one while it listens, so the live clients are
  // capped below the threads and the rest are left for pages and JSON.
  int threads = 32;
  int max_event_clients = 20;
  std::chrono::milliseconds min_event_interval{100};  // at most ~10 live events a second
  std::chrono::milliseconds keep_alive_comment{15000};
};

// The web page's server: GET and HEAD only, JSON under /api, the run's export, the page's files.
// It runs on threads of its own and reads the store through read-only connections of its own,
// so nothing it does (slow or many clients) holds up the acquisition or the recorder; its only
// link to them is the LiveSlot.
class Server {
 public:
  // Listens and starts serving. Throws std::runtime_error with one line when it cannot: the
  // address is not one of this machine's, the port is taken or not allowed, the certificate or
  // its key cannot be read or used, the page's folder is missing.
  Server(ServerOptions options, LiveSlot& live);
  // Stops serving: live clients are let go and every thread is joined.
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  int Port() const;
  // "http://127.0.0.1:8080/" (https with a certificate).
  std::string Url() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The page's folder for the program at `program_path` (/proc/self/exe): an installed program's
// ../share/korvane-connect/web, else the build tree's web/ beside bin/; empty when neither holds
// an index.html.
std::string DefaultWebRoot(const std::string& program_path);

}  // namespace korvane::web
