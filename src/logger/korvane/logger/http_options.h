// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "korvane/web/server.h"

namespace korvane::logger {

// The web page's options as the user gives them to record and serve.
struct HttpChoice {
  std::string listen;  // [ADDR:]PORT; empty: no web page
  std::string root;
  std::string user = "korvane";
  std::string password_file;
  std::string cert_file;
  std::string key_file;
};

// Adds --http (required for serve), --http-root, --http-user, --http-password-file, --http-cert
// and --http-key to `verb`.
void AddHttpOptions(CLI::App& verb, HttpChoice& choice, bool required);

// The server's options: the address (default 127.0.0.1) and port of --http, the password's file
// read, the page's folder (--http-root, else beside the program). Throws std::runtime_error
// with one line when a file cannot be read or the page's folder is not found.
web::ServerOptions ResolveHttp(const HttpChoice& choice, const std::string& store);

}  // namespace korvane::logger
