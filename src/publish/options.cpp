// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/publish/options.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace korvane::publish {

void ParseBrokerAddress(const std::string& text, BrokerOptions& options) {
  std::string host = text;
  int port = 1883;
  const std::size_t colon = text.rfind(':');
  // A bare IPv6 address has several colons and no port; "[addr]:port" is not taken apart here.
  if (colon != std::string::npos && text.find(':') == colon) {
    host = text.substr(0, colon);
    const std::string digits = text.substr(colon + 1);
    std::size_t used = 0;
    try {
      port = digits.empty() || digits[0] == '-' || digits[0] == '+' ? 0 : std::stoi(digits, &used);
    } catch (const std::exception&) {
      port = 0;
    }
    if (used != digits.size() || port < 1 || port > 65535) {
      throw std::invalid_argument("\"" + digits + "\" is not a port number (1-65535)");
    }
  }
  if (host.empty()) {
    throw std::invalid_argument("\"" + text + "\" names no broker host");
  }
  options.host = host;
  options.port = port;
}

BrokerOptions ResolveBroker(const BrokerChoice& choice) {
  BrokerOptions broker;
  ParseBrokerAddress(choice.address, broker);
  broker.topic_prefix = choice.topic.empty() ? DefaultTopicPrefix() : choice.topic;
  broker.user = choice.user;
  if (!choice.password_file.empty()) {
    if (choice.user.empty()) {
      throw std::invalid_argument("a password file needs a user name");
    }
    broker.password = ReadPasswordFile(choice.password_file);
  }
  broker.cafile = choice.cafile;
  if (const std::string problem = DiscoveryPrefixProblem(choice.discovery); !problem.empty()) {
    throw std::invalid_argument(problem);
  }
  broker.discovery_prefix = choice.discovery;
  return broker;
}

std::string DiscoveryPrefixProblem(const std::string& prefix) {
  // Home Assistant subscribes to PREFIX/#: a wildcard or an empty level makes no such filter.
  if (prefix.find_first_of("+#") != std::string::npos || prefix.starts_with('/') ||
      prefix.ends_with('/') || prefix.find("//") != std::string::npos) {
    return "\"" + prefix +
           "\" is not a discovery prefix (a topic such as homeassistant, without + or # and "
           "without an empty level)";
  }
  return {};
}

std::string DefaultTopicPrefix() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
    return "korvane/localhost";
  }
  return std::string("korvane/") + name;
}

std::string ClientIdFor(const std::string& store_identity) {
  return "korvane-" + store_identity.substr(0, 15);
}

std::string PathClientId(const std::string& store_path) {
  std::error_code error;
  std::filesystem::path path = std::filesystem::weakly_canonical(store_path, error);
  if (error) {
    path = std::filesystem::absolute(store_path, error);
  }
  // FNV-1a: stable across builds and machines, unlike std::hash.
  std::uint64_t hash = 14695981039346656037ULL;
  for (const unsigned char c : path.string()) {
    hash = (hash ^ c) * 1099511628211ULL;
  }
  char text[32];
  std::snprintf(text, sizeof text, "korvane-%016llx", static_cast<unsigned long long>(hash));
  return text;
}

std::string ReadPasswordFile(const std::string& path) {
  std::ifstream file(path);
  if (!file) {
    throw std::runtime_error("cannot read the password file " + path + ": " + std::strerror(errno));
  }
  std::string line;
  std::getline(file, line);
  if (file.bad()) {
    throw std::runtime_error("cannot read the password file " + path);
  }
  if (!line.empty() && line.back() == '\r') {
    line.pop_back();
  }
  return line;
}

}  // namespace korvane::publish
