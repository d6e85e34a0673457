// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <optional>
#include <string>

#include "korvane/link/port_map.h"
#include "korvane/publish/options.h"
#include "korvane/web/server.h"

namespace korvane::logger {

struct RecordOptions {
  int port = 1;                      // the port number to receive on, mapped through `ports`
  std::string store;                 // the recordings file
  bool tsv = false;                  // every frame to standard output in the export format
  std::optional<double> duration_s;  // stop by itself after this long
  // Every frame and run also goes to this MQTT broker; its state changes go to standard error.
  std::optional<publish::BrokerOptions> mqtt;
  // The pack chosen for each channel's runs from now on (ChoosePacks): channel to name, "" for
  // none; set in the store before the recording starts, so an unknown pack records nothing.
  std::map<int, std::string> packs;
  // The web page is served here while recording; its live values come from each decoded frame.
  std::optional<web::ServerOptions> http;
};

// Receives and records as the window does until SIGINT, SIGTERM or SIGHUP, or the duration
// ends; the runs still open end "Interrupted". The link's status changes, the port's open
// failures, the runs that begin and end and the recording's pauses go to standard error, one
// line each; a run's lines name its pack. Returns the exit code: 0, or 1 when standard output
// failed under --tsv. Throws std::runtime_error (or record::StoreError) when the store cannot be
// used at all; a store that is locked, full or damaged is left to the recorder, which says so and
// retries; a web page that cannot be served (--http) throws before anything is recorded. Must be
// called before the program starts any thread (see SignalWatcher).
int RunRecord(const RecordOptions& options, const link::PortMap& ports);

}  // namespace korvane::logger
