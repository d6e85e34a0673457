// SPDX-License-Identifier: GPL-3.0-or-later
// What the server's handlers share; not part of the layer's interface.
#pragma once

#include <httplib.h>

#include <atomic>
#include <memory>
#include <string>

#include "korvane/web/live_slot.h"
#include "korvane/web/server.h"
#include "korvane/web/store_follower.h"
#include "korvane/web/store_pool.h"

namespace korvane::web::detail {

struct Context {
  Context(ServerOptions server_options, LiveSlot& live_slot)
      : options(std::move(server_options)), live(live_slot), pool(options.store_path) {}

  const ServerOptions options;
  LiveSlot& live;
  StorePool pool;
  std::unique_ptr<StoreFollower> follower;  // serve only
  std::atomic<int> event_clients{0};
  std::atomic<bool> stopping{false};
};

// {"error": message} with `status`.
void SendError(httplib::Response& response, int status, const std::string& message);
void SendJson(httplib::Response& response, std::string body);

void AddApiRoutes(httplib::Server& server, Context& context);
void AddEventRoute(httplib::Server& server, Context& context);
void AddPageRoutes(httplib::Server& server, Context& context);

}  // namespace korvane::web::detail
