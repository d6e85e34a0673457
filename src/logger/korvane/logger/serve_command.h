// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "korvane/web/server.h"

namespace korvane::logger {

// Serves the web page of the store options.store_path, read-only, until SIGINT, SIGTERM or
// SIGHUP; the live values are the store's newest frame, followed while a page listens, so
// another program may record into it meanwhile. Says where it serves on standard error, and
// "stopped (SIGNAL)" at the end. Returns the exit code (0). Throws std::runtime_error (or
// record::StoreError) with one line when the store cannot be read or the server cannot listen.
// Must be called before the program starts any thread (see SignalWatcher).
int RunServe(web::ServerOptions options);

}  // namespace korvane::logger
