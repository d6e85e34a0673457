// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace korvane::publish {

// The broker as the user names it, on the command line or in a settings file.
struct BrokerChoice {
  std::string address{};  // "HOST[:PORT]"; empty: nothing is published
  std::string topic{};    // the topic prefix; empty: DefaultTopicPrefix()
  std::string user{};
  std::string password_file{};  // needs `user`
  std::string cafile{};
  std::string discovery{};  // Home Assistant's discovery prefix; empty: no discovery

  bool operator==(const BrokerChoice&) const = default;
};

}  // namespace korvane::publish
