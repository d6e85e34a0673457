// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "korvane/publish/publisher.h"
#include "korvane/record/recorder.h"
#include "korvane/test_support/broker.h"

namespace korvane::publish {
namespace {

using namespace test_support;
using namespace std::chrono_literals;
using nlohmann::json;

// Channel 1 idle, then charging the pack chosen for it: each telemetry message names the pack
// on channel 1 from the run's first frame on and never on channel 2; the run message names it,
// and is sent again once the run in progress is given to no pack.
TEST(Packs, TelemetryAndRunNameThePackOfTheRunInProgress) {
  TempDir dir(0755);
  Broker broker(dir);
  broker.Start();
  const std::string prefix = "korvane/packs";
  Subscriber subscriber(broker.port(), prefix, false, "packs-subscriber");
  ASSERT_TRUE(WaitUntil([&] { return !subscriber.Texts("suback").empty(); }, 30s));

  const std::string store = dir / "r.sqlite";
  {
    record::Store packs(store);
    packs.ChoosePack(1, packs.AddPack({0, "Blue 4S #3", "LiPo", 4, 2200, "", false}));
  }
  record::Recorder::Options recording;
  recording.path = store;
  recording.commit_interval = 20ms;
  record::Recorder recorder(std::move(recording));
  Publisher::Options publishing;
  publishing.store_path = store;
  publishing.broker.host = "127.0.0.1";
  publishing.broker.port = broker.port();
  publishing.broker.topic_prefix = prefix;
  Publisher publisher(std::move(publishing));
  ASSERT_TRUE(WaitUntil([&] { return publisher.Status().connected; }, 30s));
  // From now on, so that the run does not end for silence.
  const std::int64_t start = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
  constexpr int kFrames = 30;
  for (int n = 0; n < kFrames; ++n) {
    model::S_HARDWARE_DATA record;
    record.UtcMs = start + n * 100LL;
    if (n >= 10) {
      record.Channels[0] = {12000, 1, 4, 1, 15000, 2000, 10, 250, 1, 0, {}};
    }
    recorder.Record(record);
  }
  const std::string run_topic = prefix + "/run/1";
  ASSERT_TRUE(WaitUntil(
      [&] {
        return subscriber.Texts(prefix + "/telemetry").size() >= kFrames &&
               !subscriber.Last(run_topic).empty();
      },
      30s));
  const json run = json::parse(subscriber.Last(run_topic));
  EXPECT_EQ(run["pack"], "Blue 4S #3");
  for (const std::string& text : subscriber.Texts(prefix + "/telemetry")) {
    const json message = json::parse(text);
    const json on_1 = message["seq"] >= run["first_seq"] ? json("Blue 4S #3") : json(nullptr);
    EXPECT_EQ(message["channels"][0]["pack"], on_1) << message["seq"];
    EXPECT_EQ(message["channels"][1]["pack"], nullptr) << message["seq"];
  }

  record::Store(store).AssignRuns({run["run"].get<std::int64_t>()}, 0);
  EXPECT_TRUE(
      WaitUntil([&] { return json::parse(subscriber.Last(run_topic))["pack"] == nullptr; }, 30s));
  recorder.Stop();
  publisher.Stop();
}

}  // namespace
}  // namespace korvane::publish
