// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/publish/discovery.h"

#include <nlohmann/json.hpp>

#include "korvane/model/record.h"
#include "korvane/version.h"

namespace korvane::publish {
namespace {

using json = nlohmann::ordered_json;

constexpr const char* kTopicPrefixStart = "korvane/";

// A discovery node id holds only [A-Za-z0-9_-].
std::string NodeId(const std::string& topic_prefix) {
  std::string id = topic_prefix;
  for (char& c : id) {
    const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '_' || c == '-';
    c = kept ? c : '_';
  }
  return id;
}

// "Korvane charger bench-1" for the topic prefix korvane/bench-1.
std::string DeviceName(const std::string& topic_prefix) {
  const bool usual = topic_prefix.starts_with(kTopicPrefixStart) &&
                     topic_prefix.size() > std::char_traits<char>::length(kTopicPrefixStart);
  return "Korvane charger " +
         (usual ? topic_prefix.substr(std::char_traits<char>::length(kTopicPrefixStart))
                : topic_prefix);
}

// One sensor of a channel: how the telemetry's channel object gives its value, and how Home
// Assistant is to treat it. The capacity is sent in Ah and shown in mAh, as the charger does.
struct Sensor {
  std::string object;  // unique within the channel
  std::string name;
  std::string value;  // a Jinja expression on `ch`, the channel's object
  const char* unit;
  const char* device_class;
  int precision;  // -1: none suggested
};

std::vector<Sensor> ChannelSensors() {
  std::vector<Sensor> sensors = {
      {"output_v", "output voltage", "ch.output_v", "V", "voltage", 3},
      {"current_a", "current", "ch.current_a", "A", "current", 3},
      {"capacity", "capacity", "(ch.capacity_ah * 1000) | round | int", "mAh", nullptr, 0},
      // Home Assistant shows a temperature in the unit its user chose: the sensor's own unit
      // stays °C whatever the charger is set to, so its history never changes unit.
      {"temperature", "temperature",
       "((ch.temperature - 32) * 5 / 9) | round(1) if ch.temperature_unit == '\u00B0F' else "
       "ch.temperature",
       "\u00B0C", "temperature", 1},
  };
  for (int cell = 1; cell <= model::kCellCount; ++cell) {
    const std::string number = std::to_string(cell);
    sensors.push_back({"cell" + number + "_v", "cell " + number + " voltage",
                       "ch.cells_v[" + std::to_string(cell - 1) + "]", "V", "voltage", 3});
  }
  sensors.push_back({"mode", "mode", "ch.mode", nullptr, nullptr, -1});
  sensors.push_back({"status", "status", "ch.status", nullptr, nullptr, -1});
  return sensors;
}

json SensorConfig(const BrokerOptions& broker, const std::string& node, const std::string& object,
                  int channel, const Sensor& sensor, const json& device) {
  json config = {
      {"name", "Channel " + std::to_string(channel) + " " + sensor.name},
      {"unique_id", node + "_" + object},
      {"state_topic", broker.topic_prefix + "/telemetry"},
      {"value_template", "{% set ch = value_json.channels[" + std::to_string(channel - 1) +
                             "] %}{{ " + sensor.value + " }}"},
  };
  if (sensor.unit != nullptr) {
    config["unit_of_measurement"] = sensor.unit;
    config["state_class"] = "measurement";
  }
  if (sensor.device_class != nullptr) {
    config["device_class"] = sensor.device_class;
  }
  if (sensor.precision >= 0) {
    config["suggested_display_precision"] = sensor.precision;
  }
  config.update(json{{"availability_topic", broker.topic_prefix + "/status"},
                     {"payload_available", "online"},
                     {"payload_not_available", "offline"},
                     {"qos", 1},
                     {"device", device},
                     {"origin", {{"name", kApplicationTitle}, {"sw_version", VersionString()}}}});
  return config;
}

}  // namespace

std::vector<DiscoveryMessage> DiscoveryMessages(const BrokerOptions& broker) {
  std::vector<DiscoveryMessage> messages;
  if (broker.discovery_prefix.empty()) {
    return messages;
  }
  const std::string node = NodeId(broker.topic_prefix);
  const json device = {{"identifiers", json::array({node})},
                       {"name", DeviceName(broker.topic_prefix)},
                       {"manufacturer", "Korvane"},
                       {"model", "Two-channel charger"},
                       {"sw_version", VersionString()}};
  const std::vector<Sensor> sensors = ChannelSensors();
  for (int channel = 1; channel <= model::kChannelCount; ++channel) {
    for (const Sensor& sensor : sensors) {
      const std::string object = "ch" + std::to_string(channel) + "_" + sensor.object;
      messages.push_back({broker.discovery_prefix + "/sensor/" + node + "/" + object + "/config",
                          SensorConfig(broker, node, object, channel, sensor, device).dump()});
    }
  }
  return messages;
}

std::string BirthTopic(const BrokerOptions& broker) {
  return broker.discovery_prefix + "/status";
}

bool IsBirth(const BrokerOptions& broker, const std::string& topic, const std::string& payload) {
  return !broker.discovery_prefix.empty() && topic == BirthTopic(broker) && payload == "online";
}

}  // namespace korvane::publish
