// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QWidget>
#include <chrono>

#include "fakes.h"
#include "korvane/model/hardware_data.h"
#include "korvane/sim/frame_encoder.h"
#include "korvane/sim/scenario.h"
#include "korvane/test_support/broker.h"
#include "korvane/ui/recording_indicator.h"
#include "korvane/ui/window_publishing.h"
#include "korvane/ui/window_recording.h"

namespace korvane::ui::testing {
namespace {

using namespace std::chrono_literals;

using test_support::Broker;
using test_support::Lines;
using test_support::Subscriber;
using test_support::TempDir;

// The broker is absent at first: the tooltip names the cause while every frame is recorded; once
// it is there the frames reach it, and the run the window leaves open is published as ended.
TEST(WindowPublishing, PublishesBesideTheRecorderAndTellsWhyNot) {
  TempDir dir(0755);
  Broker broker(dir);
  const std::string address = "127.0.0.1:" + std::to_string(broker.port());
  QWidget client;
  NoView view;
  NoChart chart;
  std::int64_t now_ms = 1'790'000'000'000;
  model::THardwareData data(view, chart, 1, 3, [&] { return model::StampFromUnixMs(now_ms); });
  ScriptedPrompter prompter;
  WindowRecording recording(&client, prompter, data, {.Enabled = true, .File = dir / "r.sqlite"},
                            false, nullptr, nullptr,
                            {.address = address, .topic = "korvane/window"});
  auto scenario = sim::MakeScenario(sim::ScenarioKind::kChargeDischarge, {});
  const auto feed = [&](int frames) {
    for (int i = 0; i < frames; ++i, now_ms += 1300) {
      data.Decode(sim::EncodePayload(scenario->Next()));
    }
  };
  feed(10);
  const auto tip = [&] { return recording.Indicator()->toolTip().toStdString(); };
  const std::string refused = "Not publishing to MQTT broker " + address +
                              ": connection refused (no broker on port " +
                              std::to_string(broker.port()) + "); retrying";
  ASSERT_TRUE(WaitUntil([&] { return tip().find(refused) != std::string::npos; }, 20s)) << tip();
  EXPECT_TRUE(WaitUntil([&] { return recording.Indicator()->Writing(); }));

  broker.Start();
  Subscriber subscriber(broker.port(), "korvane/window", true, "window-subscriber");
  ASSERT_TRUE(WaitUntil([&] { return !subscriber.Texts("suback").empty(); }, 20s));
  feed(10);
  const std::string connected = "Publishing to MQTT broker " + address +
                                " under korvane/window/#\n"
                                "The broker has acknowledged every frame up to no. 20";
  ASSERT_TRUE(WaitUntil([&] { return tip().ends_with(connected); }, 20s)) << tip();
  // Acknowledged by the broker first, delivered to the subscriber a moment later.
  EXPECT_TRUE(WaitUntil([&] {
    return subscriber.Last("korvane/window/telemetry").find("\"seq\":20") != std::string::npos;
  })) << subscriber.Last("korvane/window/telemetry");

  recording.Stop();
  // The broker has them once Stop returns; the subscriber a moment later.
  EXPECT_TRUE(WaitUntil([&] {
    return subscriber.Last("korvane/window/run/1").find("interrupted") != std::string::npos;
  })) << subscriber.Last("korvane/window/run/1");
  EXPECT_TRUE(WaitUntil([&] { return subscriber.Last("korvane/window/status") == "offline"; }))
      << subscriber.Last("korvane/window/status");
}

// A choice that cannot be used publishes nothing and says why, at once, on stderr and in the
// tooltip; no broker named says nothing.
TEST(WindowPublishing, UnusableChoicesSayWhy) {
  const struct {
    publish::BrokerChoice choice;
    bool demo;
    std::string says;
  } cases[] = {
      {{}, false, ""},
      {{.address = "broker:0"},
       false,
       "Not publishing to MQTT broker broker:0: \"0\" is not a port number (1-65535)"},
      {{.address = "broker", .user = "u", .password_file = "/nonexistent/pw"},
       false,
       "Not publishing to MQTT broker broker: cannot read the password file /nonexistent/pw: "
       "No such file or directory"},
      {{.address = "broker", .password_file = "/nonexistent/pw"},
       false,
       "Not publishing to MQTT broker broker: a password file needs a user name"},
      {{.address = "127.0.0.1:1"},
       true,
       "Not publishing to MQTT broker 127.0.0.1:1: not in demo mode"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    Lines lines;
    WindowPublishing publishing(c.choice, "/nonexistent/r.sqlite", c.demo, lines.Sink());
    EXPECT_FALSE(publishing.Publishing());
    EXPECT_EQ(publishing.Describe(), c.says);
    EXPECT_EQ(lines.Texts().size(), c.says.empty() || c.demo ? 0u : 1u);
  }
}

}  // namespace
}  // namespace korvane::ui::testing
