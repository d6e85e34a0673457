// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/logger/serve_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>

#include "korvane/logger/signal_watcher.h"
#include "korvane/record/store.h"

namespace korvane::logger {
namespace {

void Line(const std::string& text) {
  const std::string line = text + "\n";
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
}

const char* SignalName(int number) {
  return number == SIGINT ? "SIGINT" : number == SIGTERM ? "SIGTERM" : "SIGHUP";
}

}  // namespace

int RunServe(web::ServerOptions options) {
  // Said at once, before listening: a missing or unreadable file is not a recording to serve.
  struct stat info {};
  if (::stat(options.store_path.c_str(), &info) != 0) {
    throw std::runtime_error("cannot open the recordings file " + options.store_path + ": " +
                             std::strerror(errno));
  }
  { const record::Store check(options.store_path, record::StoreAccess::kRead); }

  std::mutex mutex;
  std::condition_variable stopped;
  int signal_number = 0;  // guarded by mutex
  SignalWatcher signals([&](int number) {
    {
      std::lock_guard guard(mutex);
      signal_number = number;
    }
    stopped.notify_all();
  });

  web::LiveSlot live;
  live.PutLink({"No port", "showing what is recorded into " + options.store_path});
  options.follow_store = true;
  const std::string store = options.store_path;
  web::Server server(std::move(options), live);
  Line("serving " + store + " read-only at " + server.Url());

  std::unique_lock guard(mutex);
  stopped.wait(guard, [&] { return signal_number != 0; });
  Line(std::string("stopped (") + SignalName(signal_number) + ")");
  return 0;
}

}  // namespace korvane::logger
