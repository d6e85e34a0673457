// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWidget>
#include <chrono>
#include <vector>

#include "fakes.h"
#include "korvane/model/hardware_data.h"
#include "korvane/sim/frame_encoder.h"
#include "korvane/sim/scenario.h"
#include "korvane/test_support/bus.h"
#include "korvane/ui/window_recording.h"
#include "notify/desktop_notifications.h"
#include "notify/event_sound.h"
#include "notify/run_end_notice.h"
#include "notify/run_notifier.h"

namespace korvane::ui::testing {
namespace {

using record::EndState;

record::RunSummary Ended(int kind, EndState state, const char* text, int mah = 0, int ms = 0) {
  return {.channel = 2,
          .kind = kind,
          .end_ms = ms,
          .capacity_mah = static_cast<uint16_t>(mah),
          .end_state = state,
          .end_text = text};
}

record::RunSummary OfPack(record::RunSummary run) {
  run.pack_id = 3;
  run.pack_name = "Blue 4S #3";
  return run;
}

TEST(RunEndNotice, TellsFinishedAndErrorRunsOnly) {
  const struct {
    record::RunSummary run;
    const char* line;  // nullptr: no notice
  } cases[] = {
      {Ended(record::kRunCharge, EndState::kFinished, "Finished: CC-CV", 2204, 4'379'999),
       "Channel 2: charge finished (CC-CV) - 2.204 Ah in 1 h 12 m"},
      {Ended(record::kRunDischarge, EndState::kFinished, "Finished: CUTOFF DIS", 1350, 45'999),
       "Channel 2: discharge finished (CUTOFF DIS) - 1.350 Ah in 45 s"},
      {Ended(record::kRunBoth, EndState::kFinished, "Finished", 5, 3'599'999),
       "Channel 2: cycle finished - 0.005 Ah in 59 m"},
      {Ended(record::kRunCharge, EndState::kError, "Error: TOO HOT"), "Channel 2: error - TOO HOT"},
      {OfPack(Ended(record::kRunCharge, EndState::kFinished, "Finished: CC-CV", 2204, 4'379'999)),
       "Blue 4S #3: charge finished (CC-CV) - 2.204 Ah in 1 h 12 m"},
      {OfPack(Ended(record::kRunCharge, EndState::kError, "Error: TOO HOT")),
       "Blue 4S #3: error - TOO HOT"},
      {Ended(record::kRunCharge, EndState::kInterrupted, "Interrupted"), nullptr},
      {Ended(record::kRunCharge, EndState::kInProgress, "In progress"), nullptr},
  };
  for (const auto& c : cases) {
    const std::optional<RunEndNotice> notice = NoticeForRunEnd(c.run);
    ASSERT_EQ(notice.has_value(), c.line != nullptr) << c.run.end_text;
    if (notice) {
      EXPECT_EQ(notice->Line(), c.line);
      EXPECT_EQ(notice->error, c.run.end_state == EndState::kError) << c.line;
    }
  }
}

// Records the calls it gets, as the desktop's notification service would show them.
class StandInNotifications : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  struct Call {
    QString app, icon, summary, body;
    int urgency, timeout;
  };
  std::vector<Call> calls;

 public slots:
  uint Notify(const QString& app, uint, const QString& icon, const QString& summary,
              const QString& body, const QStringList&, const QVariantMap& hints, int timeout) {
    calls.push_back({app, icon, summary, body, hints.value("urgency").toInt(), timeout});
    return static_cast<uint>(calls.size());
  }
};

// A bus of the test's own, where StartService() offers the stand-in notification service.
class NotifyBusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(bus_.Up()) << test_support::ReadFile(dir_ / "bus.log");
    address = QString::fromStdString(bus_.Address());
  }

  void TearDown() override { QDBusConnection::disconnectFromBus("stand-in"); }

  void StartService() {
    QDBusConnection bus = QDBusConnection::connectToBus(address, "stand-in");
    ASSERT_TRUE(bus.registerObject("/org/freedesktop/Notifications", &service,
                                   QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(bus.registerService("org.freedesktop.Notifications"));
  }

  QString address;
  StandInNotifications service;

 private:
  test_support::TempDir dir_;
  test_support::Bus bus_{dir_};
};

// The recorder sees a simulated charge (channel 1) and discharge (channel 2) to their ends; each
// end reaches the service once.
TEST_F(NotifyBusTest, RecordedRunEndsReachTheNotificationService) {
  StartService();
  QTemporaryDir store;
  QWidget client;
  NoView view;
  NoChart chart;
  std::int64_t now_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
  model::THardwareData data(view, chart, 1, 3, [&] { return model::StampFromUnixMs(now_ms); });
  ScriptedPrompter prompter;
  WindowRecording recording(&client, prompter, data,
                            {.Enabled = true, .File = store.filePath("r.sqlite").toStdString()},
                            false, nullptr, new RunNotifier({.Enabled = true}, false, address));
  auto scenario =
      sim::MakeScenario(sim::ScenarioKind::kChargeDischarge, {.seconds_per_frame = 30.0});
  for (int i = 0; i < 2000; ++i, now_ms += 30'000) {
    data.Decode(sim::EncodePayload(scenario->Next()));
  }
  ASSERT_TRUE(WaitUntil([&] { return service.calls.size() >= 2; }, std::chrono::seconds(20)));
  recording.Stop();
  std::vector<QString> summaries;
  for (const auto& call : service.calls) {
    EXPECT_EQ(call.app, "Korvane Connect");
    EXPECT_EQ(call.icon, "korvane-connect");
    EXPECT_EQ(call.urgency, 1);
    EXPECT_EQ(call.timeout, 15000);
    EXPECT_TRUE(QRegularExpression(R"(^\d\.\d{3} Ah in 1 h \d+ m$)").match(call.body).hasMatch())
        << call.body.toStdString();
    summaries.push_back(call.summary);
  }
  std::sort(summaries.begin(), summaries.end());
  EXPECT_EQ(summaries, (std::vector<QString>{"Channel 1: charge finished (CC-CV)",
                                             "Channel 2: discharge finished (CUTOFF DIS)"}));
}

// A bus without the service takes the call and nothing comes of it. Calls on one connection
// arrive in order, so the single call seen proves the interrupted run sent nothing before it.
TEST_F(NotifyBusTest, MissingServiceIsNoErrorAndErrorsStay) {
  RunNotifier notifier({.Enabled = true}, false, address);
  EXPECT_TRUE(notifier.RunEnded(Ended(record::kRunCharge, EndState::kError, "Error: TOO HOT")));
  StartService();
  EXPECT_FALSE(notifier.RunEnded(Ended(record::kRunCharge, EndState::kInterrupted, "")));
  EXPECT_TRUE(notifier.RunEnded(Ended(record::kRunCharge, EndState::kError, "Error: TOO HOT")));
  ASSERT_TRUE(WaitUntil([&] { return !service.calls.empty(); }));
  ASSERT_EQ(service.calls.size(), 1u);
  EXPECT_EQ(service.calls[0].summary + "|" + service.calls[0].body, "Channel 2: error|TOO HOT");
  EXPECT_EQ(service.calls[0].urgency, 2);
  EXPECT_EQ(service.calls[0].timeout, 0);
}

// No session bus and no sound server: the calls return, the sounds are tried, nothing fails.
TEST(NotifyWithout, BusOrSoundServerIsSilent) {
  QTemporaryDir dir;
  qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.filePath("no-bus").toUtf8());
  qputenv("PULSE_SERVER", "unix:" + dir.filePath("no-pulse").toUtf8());
  EXPECT_FALSE(DesktopNotifications().Show("a", "b", DesktopNotifications::Urgency::kNormal));
  RunNotifier notifier({.Enabled = true}, true);
  EXPECT_TRUE(notifier.RunEnded(Ended(record::kRunCharge, EndState::kFinished, "Finished")));
  EXPECT_TRUE(notifier.RunEnded(Ended(record::kRunCharge, EndState::kError, "Error: x")));
  EXPECT_TRUE(WaitUntil([&] { return notifier.Sound()->Tried() == 2; }));
}

}  // namespace
}  // namespace korvane::ui::testing

#include "notify_test.moc"
