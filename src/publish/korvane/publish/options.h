#pragma once

#include <string>

namespace korvane::publish {

struct BrokerOptions {
  std::string host;
  int port = 1883;
  std::string topic_prefix;  // topics are PREFIX/status, PREFIX/telemetry, PREFIX/run/<channel>
  std::string user;          // empty: no user name is sent
  std::string password;
  std::string cafile;  // non-empty: TLS, the broker's certificate checked against this CA
  std::string client_id;
};

// The broker as the user names it, on the command line or in a settings file.
struct BrokerChoice {
  std::string address{};  // "HOST[:PORT]"; empty: nothing is published
  std::string topic{};    // the topic prefix; empty: DefaultTopicPrefix()
  std::string user{};
  std::string password_file{};  // needs `user`
  std::string cafile{};

  bool operator==(const BrokerChoice&) const = default;
};

// The options for publishing `store_path`: the address parsed, the password read and the client
// id the store's own. Throws std::invalid_argument or std::runtime_error with a message naming
// the fault.
BrokerOptions ResolveBroker(const BrokerChoice& choice, const std::string& store_path);

// Reads "HOST[:PORT]" into options.host and options.port (1883 when no port is given). Throws
// std::invalid_argument with a message naming the fault.
void ParseBrokerAddress(const std::string& text, BrokerOptions& options);

// "korvane/" + this machine's host name.
std::string DefaultTopicPrefix();

// The same for every run on the same recordings file: "korvane-" + a hash of its absolute path.
// The broker keeps one session per client id.
std::string ClientIdFor(const std::string& store_path);

// The first line of the file, without its line end. Throws std::runtime_error naming the file
// and the cause when it cannot be read.
std::string ReadPasswordFile(const std::string& path);

}  // namespace korvane::publish
