// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/publish/messages.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "korvane/publish/options.h"

namespace korvane::publish {
namespace {

using nlohmann::json;

// Compares only the keys `expected` names.
void ExpectFields(const json& message, const json& expected) {
  for (const auto& [key, value] : expected.items()) {
    EXPECT_EQ(message[key], value) << key;
  }
}

TEST(Messages, TelemetryCarriesEveryChannelValueInUnits) {
  const json cases[] = {
      {{"mode", "Charge"}, {"status", "CC-CV"}, {"temperature", 25.3}, {"temperature_unit", "°C"}},
      {{"mode", "Error"},
       {"status", "BATT TEMP LOW"},
       {"temperature", -4.1},
       {"temperature_unit", "°F"}},
  };
  const std::uint8_t codes[][5] = {{1, 4, 1, 0, 253}, {6, 8, 0, 1, 41}};  // mode, status, sign,
                                                                          // unit, temperature
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    record::StoredFrame frame;
    frame.id = 4711;
    frame.record.UtcMs = 1796817329123;
    const auto* c = codes[i];
    frame.record.Channels[1] = {12034,
                                c[0],
                                c[1],
                                3,
                                16800,
                                2150,
                                1234,
                                c[4],
                                c[2],
                                c[3],
                                {4201, 4199, 4200, 4198, 0, 0, 7}};
    const json message = json::parse(TelemetryJson(frame, "0123abcd", {"", "Blue 4S #3"}));
    ExpectFields(message,
                 {{"seq", 4711}, {"store", "0123abcd"}, {"time", "2026-12-09T11:55:29.123Z"}});
    ASSERT_EQ(message["channels"].size(), 2u);
    EXPECT_EQ(message["channels"][0]["status"], "");  // not operating: no status word
    EXPECT_EQ(message["channels"][0]["pack"], nullptr);
    ExpectFields(message["channels"][1], cases[i]);
    ExpectFields(message["channels"][1],
                 {{"channel", 2},
                  {"cycle", 3},
                  {"input_v", 12.034},
                  {"output_v", 16.8},
                  {"current_a", 2.15},
                  {"capacity_ah", 1.234},
                  {"pack", "Blue 4S #3"},
                  {"cells_v", {4.201, 4.199, 4.2, 4.198, 0.0, 0.0, 0.007}}});
  }
}

TEST(Messages, RunCarriesItsSummaryInUnits) {
  record::RunSummary run;
  run.id = 7;
  run.channel = 2;
  run.kind = record::kRunBoth;
  run.start_ms = 1796817329123;
  run.end_ms = run.start_ms + 3723500;
  run.capacity_mah = 2500;
  run.energy_wh = 30.12053341575;
  run.peak_temperature = -12;
  run.temperature_unit = 1;
  run.end_state = record::EndState::kFinished;
  run.end_text = "Finished: CC-CV";
  EXPECT_FALSE(json::parse(RunJson(run)).contains("store"));
  ExpectFields(json::parse(RunJson(run)), {{"pack", nullptr}, {"ir_mohm", nullptr}});
  run.pack_name = "Blue 4S #3";
  run.ir_mohm = 12.34;
  EXPECT_EQ(json::parse(RunJson(run, "0123abcd"))["store"], "0123abcd");
  ExpectFields(json::parse(RunJson(run)), {{"run", 7},
                                           {"channel", 2},
                                           {"kind", "cycle"},
                                           {"state", "finished"},
                                           {"end_text", "Finished: CC-CV"},
                                           {"start", "2026-12-09T11:55:29.123Z"},
                                           {"end", "2026-12-09T12:57:32.623Z"},
                                           {"duration_s", 3723.5},
                                           {"capacity_ah", 2.5},
                                           {"energy_wh", 30.121},
                                           {"peak_temperature", -1.2},
                                           {"temperature_unit", "°F"},
                                           {"pack", "Blue 4S #3"},
                                           {"ir_mohm", 12.3}});
}

TEST(Options, BrokerAddressesAndClientIds) {
  BrokerOptions options;
  ParseBrokerAddress("10.0.0.2:8883", options);
  EXPECT_EQ(options.port, 8883);
  ParseBrokerAddress("broker", options);
  EXPECT_EQ(options.port, 1883);
  for (const char* bad : {"", ":1883", "host:", "host:0", "host:65536", "host:12x"}) {
    EXPECT_THROW(ParseBrokerAddress(bad, options), std::invalid_argument) << bad;
  }
  EXPECT_EQ(PathClientId("/a/b.sqlite"), PathClientId("/a/./b.sqlite"));
  EXPECT_NE(PathClientId("/a/b.sqlite"), PathClientId("/a/c.sqlite"));
  EXPECT_EQ(ClientIdFor("0123456789abcdef0123456789abcdef"), "korvane-0123456789abcde");
}

}  // namespace
}  // namespace korvane::publish
