// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/logger/http_options.h"

#include <charconv>
#include <stdexcept>

#include "korvane/publish/options.h"

namespace korvane::logger {
namespace {

// "[ADDR:]PORT": "8080", "0.0.0.0:8080", "[::]:8080". Throws std::invalid_argument.
void ParseListen(const std::string& text, web::ServerOptions& options) {
  const std::size_t colon = text.rfind(':');
  std::string address = colon == std::string::npos ? "" : text.substr(0, colon);
  const std::string port = colon == std::string::npos ? text : text.substr(colon + 1);
  if (address.size() >= 2 && address.front() == '[' && address.back() == ']') {
    address = address.substr(1, address.size() - 2);
  } else if (address.find(':') != std::string::npos) {
    throw std::invalid_argument("\"" + text + "\": an IPv6 address goes in brackets, [::1]:8080");
  }
  int number = 0;
  const char* end = port.data() + port.size();
  const auto [at, error] = std::from_chars(port.data(), end, number);
  if (port.empty() || error != std::errc() || at != end || number < 1 || number > 65535) {
    throw std::invalid_argument("\"" + text + "\" is not [ADDRESS:]PORT with a port 1-65535");
  }
  if (colon != std::string::npos && address.empty()) {
    throw std::invalid_argument("\"" + text + "\" names no address before the colon");
  }
  options.port = number;
  if (!address.empty()) {
    options.address = address;
  }
}

const CLI::Validator kListen(
    [](std::string& text) {
      try {
        web::ServerOptions options;
        ParseListen(text, options);
        return std::string();
      } catch (const std::invalid_argument& error) {
        return std::string(error.what());
      }
    },
    "");

}  // namespace

void AddHttpOptions(CLI::App& verb, HttpChoice& choice, bool required) {
  CLI::Option* http =
      verb.add_option("--http", choice.listen,
                      "Serve the web page here (address 127.0.0.1 unless named; 0.0.0.0: every "
                      "network)")
          ->check(kListen)
          ->type_name("[ADDR:]PORT");
  if (required) {
    http->required();
  }
  verb.add_option("--http-root", choice.root,
                  "The page's files (default: installed beside the program)")
      ->needs(http)
      ->check(CLI::ExistingDirectory.description(""))
      ->type_name("DIR");
  CLI::Option* password =
      verb.add_option("--http-password-file", choice.password_file,
                      "Ask for a user name and password: the password is this file's first line")
          ->needs(http)
          ->type_name("FILE");
  verb.add_option("--http-user", choice.user, "The user name (default: korvane)")
      ->needs(password)
      ->type_name("NAME");
  CLI::Option* cert =
      verb.add_option("--http-cert", choice.cert_file, "Serve HTTPS with this certificate (PEM)")
          ->needs(http)
          ->type_name("FILE");
  CLI::Option* key = verb.add_option("--http-key", choice.key_file, "... and its private key (PEM)")
                         ->needs(cert)
                         ->type_name("FILE");
  cert->needs(key);
}

web::ServerOptions ResolveHttp(const HttpChoice& choice, const std::string& store) {
  web::ServerOptions options;
  ParseListen(choice.listen, options);
  options.store_path = store;
  options.user = choice.user;
  if (!choice.password_file.empty()) {
    options.password = publish::ReadPasswordFile(choice.password_file);
    if (options.password->empty()) {
      throw std::runtime_error("the password file " + choice.password_file + " has no password");
    }
  }
  options.cert_file = choice.cert_file;
  options.key_file = choice.key_file;
  options.root = choice.root.empty() ? web::DefaultWebRoot("/proc/self/exe") : choice.root;
  if (options.root.empty()) {
    throw std::runtime_error(
        "cannot serve the web page: its files are not installed beside the program (name their "
        "folder with --http-root)");
  }
  return options;
}

}  // namespace korvane::logger
