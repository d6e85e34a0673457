// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "korvane/publish/options.h"

namespace korvane::publish {

// One retained configuration of Home Assistant's MQTT discovery.
struct DiscoveryMessage {
  std::string topic;  // DISCOVERY/sensor/NODE/OBJECT/config
  std::string payload;
};

// The configurations under broker.discovery_prefix (none when it is empty) that make Home
// Assistant show the charger publishing under broker.topic_prefix as one device, with a sensor
// per channel for output voltage, current, capacity, temperature, each cell's voltage, mode and
// status. Each reads its value out of PREFIX/telemetry with a template, so no message is added
// per frame, and is available while PREFIX/status says "online". The device's and the sensors'
// ids follow the topic prefix, the one thing that binds them to the telemetry: they stay the
// same across restarts and when the recordings file is replaced.
std::vector<DiscoveryMessage> DiscoveryMessages(const BrokerOptions& broker);

// Where Home Assistant says "online" when it starts: the configurations are sent again then,
// as it may have forgotten them.
std::string BirthTopic(const BrokerOptions& broker);
bool IsBirth(const BrokerOptions& broker, const std::string& topic, const std::string& payload);

}  // namespace korvane::publish
