// SPDX-License-Identifier: GPL-3.0-or-later
// The JSON under /api, read from the store through the server's own read-only connections.

#include <algorithm>
#include <nlohmann/json.hpp>

#include "korvane/web/frames_json.h"
#include "korvane/web/query.h"
#include "korvane/web/run_json.h"
#include "routes.h"

namespace korvane::web::detail {

void SendError(httplib::Response& response, int status, const std::string& message) {
  response.status = status;
  const nlohmann::json body = {{"error", message}};
  response.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                       "application/json");
  response.set_header("Cache-Control", "no-store");
}

void SendJson(httplib::Response& response, std::string body) {
  response.set_content(std::move(body), "application/json");
  response.set_header("Cache-Control", "no-store");
}

namespace {

record::RunSummary FindRun(const record::Store& store, const std::string& id_text) {
  const std::int64_t id = ParseRunId(id_text);
  std::optional<record::RunSummary> run = store.Run(id);
  if (!run) {
    throw std::out_of_range("there is no run " + std::to_string(id));
  }
  return *run;
}

// A run that is not there is a 404, not a failure of the server.
template <typename Handler>
httplib::Server::Handler NotFoundAware(Handler handler) {
  return [handler](const httplib::Request& request, httplib::Response& response) {
    try {
      handler(request, response);
    } catch (const std::out_of_range& missing) {
      SendError(response, 404, missing.what());
    }
  };
}

}  // namespace

void AddApiRoutes(httplib::Server& server, Context& context) {
  server.Get("/api/live", [&context](const httplib::Request&, httplib::Response& response) {
    if (context.follower) {
      context.follower->Poll();
    }
    SendJson(response, LiveJson(context.live.Latest()));
  });

  server.Get("/api/runs", [&context](const httplib::Request& request, httplib::Response& response) {
    const RunsQuery query = ParseRunsQuery(request.params);
    const StorePool::Lease store = context.pool.Take();
    std::vector<record::RunSummary> runs = store->Runs();
    std::erase_if(runs, [&query](const record::RunSummary& run) {
      return (query.channel != 0 && run.channel != query.channel) ||
             (!query.pack.empty() && run.pack_name != query.pack);
    });
    std::reverse(runs.begin(), runs.end());  // newest first
    const auto total = static_cast<std::int64_t>(runs.size());
    const auto first = std::min(query.offset, total);
    const auto last = std::min(first + query.limit, total);
    const std::vector<record::RunSummary> page(runs.begin() + first, runs.begin() + last);
    SendJson(response, RunPageJson(page, total, query.offset, store->Identity()));
  });

  server.Get(R"(/api/runs/([^/]+))", NotFoundAware([&context](const httplib::Request& request,
                                                              httplib::Response& response) {
               const StorePool::Lease store = context.pool.Take();
               const record::RunSummary run = FindRun(*store, request.matches[1]);
               SendJson(response, RunJson(run, store->Identity()));
             }));

  server.Get(
      R"(/api/runs/([^/]+)/frames)",
      NotFoundAware([&context](const httplib::Request& request, httplib::Response& response) {
        const FramesQuery query = ParseFramesQuery(request.params);
        const StorePool::Lease store = context.pool.Take();
        const record::RunSummary run = FindRun(*store, request.matches[1]);
        std::vector<record::StoredFrame> frames;
        if (run.first_frame > 0 && run.last_frame >= run.first_frame) {
          frames = store->Frames(run.first_frame, run.last_frame, std::clamp(run.channel, 1, 2));
        }
        SendJson(response, FramesJson(run, frames, query));
      }));
}

}  // namespace korvane::web::detail
