// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>

#include "korvane/publish/publisher.h"
#include "korvane/record/recorder.h"
#include "korvane/test_support/broker.h"
#include "korvane/test_support/piped_child.h"

namespace korvane::publish {
namespace {

using namespace test_support;
using namespace std::chrono_literals;
using nlohmann::json;

// The template rendered by Jinja2, Home Assistant's engine, with the telemetry as value_json.
std::string Render(const std::string& value_template, const std::string& telemetry) {
  PipedChild python(
      {"/usr/bin/python3", "-c",
       "import json, sys\n"
       "from jinja2.sandbox import ImmutableSandboxedEnvironment as Env\n"
       "print(Env().from_string(sys.argv[1]).render(value_json=json.loads(sys.argv[2])))",
       value_template, telemetry});
  EXPECT_EQ(python.Wait(30s), 0) << python.Err();
  return python.Out().substr(0, python.Out().find('\n'));
}

// A broker's view of the announcement: one device, each value of both channels with its unit
// and device class, read by its template out of a real telemetry message (channel 2 sends °F),
// available while the status topic says what the publisher says there; and every configuration
// sent again when Home Assistant says it has started.
TEST(Discovery, HomeAssistantSeesEveryChannelValueAndHearsItAgainAfterItsStart) {
  TempDir dir(0755);
  Broker broker(dir);
  broker.Start();
  const std::string prefix = "korvane/bench-1";
  Subscriber ha(broker.port(), "homeassistant", true, "ha");
  Subscriber charger(broker.port(), prefix, true, "charger");
  ASSERT_TRUE(WaitUntil(
      [&] { return ha.Texts("suback").size() + charger.Texts("suback").size() == 2; }, 30s));
  const std::string store = dir / "r.sqlite";
  record::Recorder::Options recording;
  recording.path = store;
  record::Recorder recorder(std::move(recording));
  Publisher::Options publishing;
  publishing.store_path = store;
  publishing.broker.host = "127.0.0.1";
  publishing.broker.port = broker.port();
  publishing.broker.topic_prefix = prefix;
  publishing.broker.discovery_prefix = "homeassistant";
  Publisher publisher(std::move(publishing));
  ASSERT_TRUE(WaitUntil([&] { return publisher.Status().connected; }, 30s));
  model::S_HARDWARE_DATA frame;
  frame.Channels[0] = {12000, 1, 4, 1, 16800, 2150, 1234, 253, 1, 0, {4201, 4199, 0, 0, 0, 0, 7}};
  frame.Channels[1] = {12000, 1, 4, 1, 8400, 500, 99, 770, 1, 1, {3650, 3702, 0, 0, 0, 0, 0}};
  recorder.Record(frame);
  // The ids are kept from version to version: Home Assistant keeps an entity's history by them.
  const std::string node = "korvane_bench-1";
  const std::map<std::string, std::pair<json, json>> kinds = {
      // unit, device class
      {"output_v", {"V", "voltage"}}, {"current_a", {"A", "current"}},
      {"capacity", {"mAh", nullptr}}, {"temperature", {"°C", "temperature"}},
      {"cell", {"V", "voltage"}},     {"mode", {nullptr, nullptr}},
      {"status", {nullptr, nullptr}}};
  std::map<std::string, std::string> objects;  // object id -> its kind
  for (const std::string channel : {"ch1_", "ch2_"}) {
    for (const auto& [kind, unit] : kinds) {
      for (int cell = 1; cell <= (kind == "cell" ? 7 : 1); ++cell) {
        objects[channel + kind + (kind == "cell" ? std::to_string(cell) + "_v" : "")] = kind;
      }
    }
  }
  const auto configs = [&](std::size_t each) {
    std::vector<json> found;
    for (const auto& [object, kind] : objects) {
      const auto texts = ha.Texts("homeassistant/sensor/" + node + "/" + object + "/config");
      if (texts.size() == each) {
        found.push_back(json::parse(texts.back()));
      }
    }
    return found.size() == objects.size() ? found : std::vector<json>();
  };
  ASSERT_TRUE(WaitUntil(
      [&] { return !configs(1).empty() && !charger.Last(prefix + "/telemetry").empty(); }, 30s));

  const std::map<std::string, std::string> values = {
      {"ch1_output_v", "16.8"},    {"ch1_current_a", "2.15"},   {"ch1_capacity", "1234"},
      {"ch1_temperature", "25.3"}, {"ch2_temperature", "25.0"}, {"ch2_cell2_v", "3.702"},
      {"ch1_mode", "Charge"},      {"ch2_status", "CC-CV"}};
  auto object = objects.begin();
  for (const json& config : configs(1)) {
    const auto& [id, kind] = *object++;
    EXPECT_EQ(config["unique_id"], node + "_" + id);
    EXPECT_EQ(config["device"]["identifiers"][0], node);
    EXPECT_EQ(config["state_topic"], prefix + "/telemetry");
    EXPECT_EQ(config["availability_topic"], prefix + "/status");
    EXPECT_EQ(config["payload_available"], charger.Last(prefix + "/status"));
    EXPECT_EQ(config.value("unit_of_measurement", json()), kinds.at(kind).first) << id;
    EXPECT_EQ(config.value("device_class", json()), kinds.at(kind).second) << id;
    const std::string value = Render(config["value_template"], charger.Last(prefix + "/telemetry"));
    EXPECT_NE(value, "") << id;
    EXPECT_EQ(value, values.contains(id) ? values.at(id) : value) << id;
  }

  PipedChild birth({"/usr/bin/mosquitto_pub", "-h", "127.0.0.1", "-p",
                    std::to_string(broker.port()), "-t", "homeassistant/status", "-m", "online"});
  ASSERT_EQ(birth.Wait(30s), 0) << birth.Err();
  EXPECT_TRUE(WaitUntil([&] { return !configs(2).empty(); }, 30s));
}

// The option reaches the publisher; a prefix Home Assistant cannot listen to is refused at start.
TEST(Discovery, PrefixIsCheckedAndPassedOn) {
  BrokerChoice choice{.address = "broker.lan", .discovery = "homeassistant"};
  EXPECT_EQ(ResolveBroker(choice).discovery_prefix, "homeassistant");
  choice.discovery = "ha/#";
  EXPECT_THROW(ResolveBroker(choice), std::invalid_argument);
}

}  // namespace
}  // namespace korvane::publish
