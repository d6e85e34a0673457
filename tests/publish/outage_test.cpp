// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <numeric>
#include <set>
#include <thread>

#include "korvane/publish/publisher.h"
#include "korvane/record/recorder.h"
#include "korvane/test_support/broker.h"

namespace korvane::publish {
namespace {

using namespace test_support;
using namespace std::chrono_literals;
using nlohmann::json;

constexpr int kFrames = 2000;
constexpr int kOutages = 5;

// Ten frames a second of simulated time from now on, so that no run ends for silence.
model::S_HARDWARE_DATA Charging(int n) {
  static const std::int64_t start = std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::system_clock::now().time_since_epoch())
                                        .count();
  model::S_HARDWARE_DATA record;
  record.UtcMs = start + n * 100LL;
  record.Channels[0] = {12000, 1, 4, 1, 15000, 2000, static_cast<std::uint16_t>(n), 250, 1, 0, {}};
  return record;
}

// The broker is killed five times with frames sent and not yet acknowledged: publishing resumes
// from the first of them, a subscriber with a persistent session gets every frame, in order once
// duplicates are dropped, and the retained messages are right. A killed broker loses what it
// acknowledged and had neither passed on nor saved; so before each kill the subscriber has all
// that, and the broker is frozen while more frames are sent: a frame missing is our loss.
TEST(Outage, EveryFrameArrivesAcrossBrokerRestarts) {
  TempDir dir(0755);
  Broker broker(dir);
  broker.Start();
  const std::string prefix = "korvane/outage";
  Subscriber subscriber(broker.port(), prefix, false, "outage-subscriber");
  ASSERT_TRUE(WaitUntil([&] { return !subscriber.Texts("suback").empty(); }, 30s));
  // Its session must be in the broker's saved state (every second) before the first kill.
  const auto subscribed_at = std::filesystem::file_time_type::clock::now();
  ASSERT_TRUE(WaitUntil(
      [&] {
        std::error_code error;
        return std::filesystem::last_write_time(dir / "mosquitto.db", error) > subscribed_at;
      },
      30s));

  const std::string store = dir / "r.sqlite";
  record::Recorder::Options recording;
  recording.path = store;
  recording.commit_interval = std::chrono::milliseconds(20);
  record::Recorder recorder(std::move(recording));
  Lines lines;
  Publisher::Options publishing;
  publishing.store_path = store;
  publishing.broker.host = "127.0.0.1";
  publishing.broker.port = broker.port();
  publishing.broker.topic_prefix = prefix;
  publishing.on_line = lines.Sink();
  publishing.first_retry = std::chrono::milliseconds(100);
  Publisher publisher(std::move(publishing));
  std::vector<std::int64_t> seqs;
  const auto received = [&] {
    seqs.clear();
    for (const std::string& text : subscriber.Texts(prefix + "/telemetry")) {
      seqs.push_back(json::parse(text)["seq"].get<std::int64_t>());
    }
    return std::set<std::int64_t>(seqs.begin(), seqs.end()).size();
  };
  int fed = 0;
  const auto feed = [&](int frames) {
    for (const int end = fed + frames; fed < end; ++fed) {
      recorder.Record(Charging(fed));
    }
    return WaitUntil([&] { return recorder.Status().frames_recorded == fed; }, 30s);
  };
  for (int outage = 0; outage < kOutages; ++outage) {
    ASSERT_TRUE(feed(150));
    ASSERT_TRUE(WaitUntil(
        [&] {
          return publisher.Status().acked_seq == fed && received() == static_cast<std::size_t>(fed);
        },
        30s));
    broker.Signal(SIGSTOP);
    const int first_unacknowledged = fed + 1;
    ASSERT_TRUE(feed(40));
    ASSERT_TRUE(WaitUntil([&] { return publisher.Status().sent_seq == fed; }, 30s));
    broker.Stop(SIGKILL);
    ASSERT_TRUE(WaitUntil([&] { return !publisher.Status().connected; }, 30s));
    ASSERT_TRUE(feed(40));  // recorded meanwhile
    broker.Start();
    ASSERT_TRUE(WaitUntil([&] { return publisher.Status().connected; }, 30s));
    const std::string connected = lines.Texts().back();  // "... from frame N"
    EXPECT_EQ(connected.substr(connected.rfind(' ') + 1), std::to_string(first_unacknowledged));
  }
  ASSERT_TRUE(feed(kFrames - fed));
  ASSERT_TRUE(WaitUntil([&] { return received() == static_cast<std::size_t>(kFrames); }, 60s));

  std::vector<std::int64_t> in_order;
  for (const std::int64_t seq : seqs) {
    if (in_order.empty() || seq > in_order.back()) {
      in_order.push_back(seq);
    }
  }
  std::vector<std::int64_t> every(kFrames);
  std::iota(every.begin(), every.end(), 1);
  EXPECT_EQ(in_order, every);
  EXPECT_EQ(lines.Count("lost ("), kOutages);
  std::cout << "[ outage  ] " << seqs.size() << " telemetry messages for " << kFrames
            << " frames across " << kOutages << " broker kills\n";

  Subscriber late(broker.port(), prefix, true, "late-subscriber");
  ASSERT_TRUE(WaitUntil([&] { return !late.Last(prefix + "/run/1").empty(); }, 30s));
  EXPECT_EQ(late.Last(prefix + "/status"), "online");
  const json run = json::parse(late.Last(prefix + "/run/1"));
  EXPECT_EQ(run["state"], "in progress");
  EXPECT_EQ(run["first_seq"], 1);

  recorder.Stop();
  ASSERT_TRUE(WaitUntil(
      [&] {
        const std::string last = subscriber.Last(prefix + "/run/1");
        return json::parse(last.empty() ? "{}" : last).value("state", "") == "interrupted";
      },
      30s));
  EXPECT_EQ(json::parse(subscriber.Last(prefix + "/run/1"))["frames"], kFrames);
  publisher.Stop();
  EXPECT_TRUE(WaitUntil([&] { return subscriber.Last(prefix + "/status") == "offline"; }, 30s));
  EXPECT_EQ(publisher.Status().acked_seq, kFrames);
}

}  // namespace
}  // namespace korvane::publish
