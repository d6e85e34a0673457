// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "korvane/publish/broker_choice.h"

namespace korvane::publish {

struct BrokerOptions {
  std::string host;
  int port = 1883;
  std::string topic_prefix;  // topics are PREFIX/status, PREFIX/telemetry, PREFIX/run/<channel>
  std::string user;          // empty: no user name is sent
  std::string password;
  std::string cafile;     // non-empty: TLS, the broker's certificate checked against this CA
  std::string client_id;  // empty: the recordings file's own, ClientIdFor(its identity)
  // Non-empty: Home Assistant's discovery prefix, under which the sensors are announced.
  std::string discovery_prefix;
};

// The options for the broker chosen: the address parsed and the password read; the client id is
// left to the publisher, which takes the file's. Throws std::invalid_argument or
// std::runtime_error with a message naming the fault.
BrokerOptions ResolveBroker(const BrokerChoice& choice);

// Reads "HOST[:PORT]" into options.host and options.port (1883 when no port is given). Throws
// std::invalid_argument with a message naming the fault.
void ParseBrokerAddress(const std::string& text, BrokerOptions& options);

// "" when `prefix` can be Home Assistant's discovery prefix, else why not.
std::string DiscoveryPrefixProblem(const std::string& prefix);

// "korvane/" + this machine's host name.
std::string DefaultTopicPrefix();

// The same for every run on the same recordings file, whatever path names it: "korvane-" + the
// first 15 digits of the file's identity (record::Store::Identity), 23 characters in all, the
// most a strict MQTT 3.1.1 broker accepts. The broker keeps one session per client id.
std::string ClientIdFor(const std::string& store_identity);

// The client id of files made before they had an identity: "korvane-" + a hash of the absolute
// path. Their acknowledged marks are kept under it.
std::string PathClientId(const std::string& store_path);

// The first line of the file, without its line end. Throws std::runtime_error naming the file
// and the cause when it cannot be read.
std::string ReadPasswordFile(const std::string& path);

}  // namespace korvane::publish
