// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/link/hardware_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "korvane/link/port_map.h"
#include "korvane/test_support/temp_dir.h"
#include "pty_fixture.h"
#include "test_frames.h"
#include "thread_fakes.h"

namespace korvane::link {
namespace {

using Clock = std::chrono::steady_clock;
using testing::kPtyPort;
using testing::MakeFrame;
using testing::MakePayload;

constexpr auto kDeadline = std::chrono::seconds(10);

class ThreadTest : public testing::PtyFixture {
 protected:
  void TearDown() override {
    if (thread_) {
      thread_->Terminate();
      thread_->WaitFor();
    }
    EXPECT_FALSE(form_.wrong_thread_);
    EXPECT_FALSE(model_.wrong_thread_);
  }

  void Start(int port, std::uint32_t start_tick = 5000) {
    auto clock = std::make_unique<testing::SteppedClock>(ui_, start_tick);
    clock_ = clock.get();
    thread_ = std::make_unique<THardwareThread>(ui_, form_, model_, ports_, std::move(clock));
    thread_->SetTrace([this](const std::string& line) { trace_.Add(line); });
    thread_->SetReadCall(reads_.Call());
    thread_->ChangePort(port);
    thread_->Resume();
    ASSERT_TRUE(Settle());
  }

  // Serves the UI thread until the worker has finished its cycle and sleeps.
  bool Settle() {
    return ui_.ServeUntil([&] { return clock_->Idle(); }, Clock::now() + kDeadline);
  }
  bool Step(int sleeps = 1) {
    clock_->Grant(sleeps);
    return Settle();
  }
  // Runs cycles until `done` holds; a pty hands bytes over asynchronously, so a write may take
  // a cycle or two to be readable.
  bool StepUntil(const std::function<bool()>& done, int max_sleeps = 20) {
    for (int i = 0; i < max_sleeps && !done(); ++i) {
      if (!Step()) {
        return false;
      }
    }
    return done();
  }
  // Runs cycles until the port is reported gone. The kernel reports a hang-up asynchronously:
  // give it real time as well as cycles.
  bool StepUntilGone() {
    const auto deadline = Clock::now() + kDeadline;
    while (!Shows("ERROR: unable to open COM port") && Clock::now() < deadline) {
      if (!Step()) {
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return Shows("ERROR: unable to open COM port");
  }
  bool Shows(const std::string& text) { return form_.Last() == text; }

  HandOffQueue ui_;  // the test's own thread is the UI thread
  testing::FakeModel model_{std::this_thread::get_id()};
  testing::FakeStatusView form_{std::this_thread::get_id()};
  testing::TraceLog trace_;
  testing::ReadFaults reads_;
  testing::SteppedClock* clock_ = nullptr;
  std::unique_ptr<THardwareThread> thread_;
};

TEST_F(ThreadTest, StartsWithInitializingThenTimesOutAfterThreeSecondsOfSilence) {
  Start(kPtyPort);
  ASSERT_EQ(form_.shown.size(), 1u);
  EXPECT_EQ(form_.shown[0], (CommStatus{"Initializing...", 0x0000FFFF}));
  ASSERT_TRUE(Step(59));  // 2950 ms after the open: still nothing new
  EXPECT_EQ(form_.shown.size(), 1u);
  ASSERT_TRUE(Step());
  EXPECT_EQ(form_.shown.back(), (CommStatus{"ERROR: timeout (no data)", 0x000088FF}));
  ASSERT_TRUE(Step(20));
  EXPECT_EQ(form_.Count("ERROR: timeout (no data)"), 1);  // set every cycle, shown once
}

TEST_F(ThreadTest, ValidFramesAreDecodedRefreshedAndOkIsShownOnce) {
  Start(kPtyPort);
  for (unsigned i = 0; i < 4; ++i) {
    ASSERT_TRUE(pty_->Write(MakeFrame(MakePayload(i))));
    ASSERT_TRUE(StepUntil([&] { return model_.DecodedCount() == i + 1; }));
  }
  EXPECT_EQ(model_.Decoded()[3], MakePayload(3));
  EXPECT_EQ(model_.refreshes_, 4);
  ASSERT_TRUE(Step());
  EXPECT_EQ(form_.shown.back(), (CommStatus{"OK", 0x0000FF00}));
  EXPECT_EQ(form_.Count("OK"), 1);
}

TEST_F(ThreadTest, AFrameWaitingBeforeTheOpenIsNeverDecoded) {
  ASSERT_TRUE(pty_->Write(MakeFrame(MakePayload(1))));  // queued in the driver, port still closed
  Start(kPtyPort);
  ASSERT_TRUE(pty_->Write(MakeFrame(MakePayload(2))));
  ASSERT_TRUE(StepUntil([&] { return model_.DecodedCount() > 0; }));
  ASSERT_TRUE(Step(2));
  EXPECT_EQ(model_.Decoded(), std::vector<std::string>{MakePayload(2)});
}

TEST_F(ThreadTest, ValuesAreRefreshedBeforeOkIsShown) {
  Start(kPtyPort);
  int refreshes_when_ok_shown = -1;
  ASSERT_TRUE(pty_->Write(MakeFrame(MakePayload(1))));
  ASSERT_TRUE(StepUntil([&] {
    if (Shows("OK") && refreshes_when_ok_shown < 0) {
      refreshes_when_ok_shown = model_.refreshes_;
    }
    return Shows("OK");
  }));
  EXPECT_EQ(refreshes_when_ok_shown, 1);
}

struct BadFrameCase {
  const char* name;
  std::string bytes;
  CommStatus status;
};

void PrintTo(const BadFrameCase& c, std::ostream* os) {
  *os << c.name;
}

class BadFrameTest : public ThreadTest, public ::testing::WithParamInterface<BadFrameCase> {};

TEST_P(BadFrameTest, ShowsItsStatusRestartsTheSilenceMeasureAndDecodesNothing) {
  Start(kPtyPort);
  ASSERT_TRUE(Step(40));  // 2000 ms of silence
  ASSERT_TRUE(pty_->Write(GetParam().bytes));
  ASSERT_TRUE(StepUntil([&] { return Shows(GetParam().status.text); }));
  EXPECT_EQ(form_.shown.back(), GetParam().status);
  EXPECT_EQ(model_.DecodedCount(), 0u);
  ASSERT_TRUE(Step(55));  // the bad frame restarted the 3000 ms measure
  EXPECT_TRUE(Shows(GetParam().status.text));
  ASSERT_TRUE(StepUntil([&] { return Shows("ERROR: timeout (no data)"); }, 10));
  // The next frame result replaces the timeout.
  ASSERT_TRUE(pty_->Write(GetParam().bytes));
  EXPECT_TRUE(StepUntil([&] { return Shows(GetParam().status.text); }));
}

std::string WrongChecksumFrame() {
  std::string frame = MakeFrame(MakePayload(1));
  frame[119] = frame[119] == '0' ? '1' : '0';
  return frame;
}

INSTANTIATE_TEST_SUITE_P(Statuses, BadFrameTest,
                         ::testing::Values(BadFrameCase{"WrongLength",
                                                        MakeFrame(MakePayload(1)).erase(10, 1),
                                                        {"ERROR: wrong frame length", 0x0000AAFF}},
                                           BadFrameCase{"WrongChecksum",
                                                        WrongChecksumFrame(),
                                                        {"ERROR: wrong checksum", 0x0000CCFF}},
                                           BadFrameCase{"LowercaseChecksum",
                                                        MakeFrame(MakePayload(0xAB), true),
                                                        {"ERROR: wrong checksum", 0x0000CCFF}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ThreadTest, EveryFrameOfOneReadIsHandledAndTheLastResultSetsTheStatus) {
  Start(kPtyPort);
  const std::string bytes = MakeFrame(MakePayload(1)) + MakeFrame(MakePayload(2)) +
                            MakeFrame(MakePayload(3)).erase(5, 2) + MakeFrame(MakePayload(4));
  ASSERT_TRUE(pty_->Write(bytes));
  ASSERT_TRUE(StepUntil([&] { return model_.DecodedCount() == 3; }));
  EXPECT_EQ(model_.Decoded(),
            (std::vector<std::string>{MakePayload(1), MakePayload(2), MakePayload(4)}));
  EXPECT_EQ(model_.refreshes_, 3);
  ASSERT_TRUE(Step());
  EXPECT_TRUE(Shows("OK"));
}

TEST_F(ThreadTest, OpenFailureShowsRedAfterThePauseAndRetriesEverySecond) {
  Start(70);  // no device behind 65..99
  // The worker now sits in the 1000 ms pause; the status reaches the window after it.
  EXPECT_EQ(form_.shown.size(), 1u);
  ASSERT_TRUE(Step());
  EXPECT_EQ(form_.shown.back(), (CommStatus{"ERROR: unable to open COM port", 0x000000FF}));
  ASSERT_TRUE(Step(10));
  EXPECT_EQ(form_.Count("ERROR: unable to open COM port"), 1);
  EXPECT_EQ(trace_.CountPrefix("port: 70 -> -999"), 6);
  const auto sleeps = clock_->Sleeps();
  ASSERT_GE(sleeps.size(), 4u);
  EXPECT_EQ(sleeps[0], 1000u);
  EXPECT_EQ(sleeps[1], 50u);
  EXPECT_EQ(sleeps[2], 1000u);
}

TEST_F(ThreadTest, OpenFailureReasonFollowsTheStatusOnChangeAndClearsWhenThePortOpens) {
  const test_support::TempDir dir;
  const std::string adapter = dir / "plug";
  ports_.SetOverride(8, adapter);
  Start(8);
  ASSERT_TRUE(Step(5));
  EXPECT_EQ(form_.details, std::vector<std::string>{"No such device: is the adapter plugged in? (" +
                                                    adapter + ")"});
  std::filesystem::create_symlink(pty_->SlavePath(), adapter);
  ASSERT_TRUE(StepUntil([&] { return trace_.CountPrefix("port: 8 -> 0") == 1; }));
  std::filesystem::remove(adapter);
  EXPECT_EQ(form_.details.back(), "");
  EXPECT_TRUE(Shows("ERROR: unable to open COM port"));  // until data or silence says more
}

TEST_F(ThreadTest, ChangePortToTheSameNumberDoesNothing) {
  Start(kPtyPort);
  const int opens = trace_.CountPrefix("port: ");
  thread_->ChangePort(kPtyPort);
  ASSERT_TRUE(Step(3));
  EXPECT_EQ(form_.shown.size(), 1u);
  EXPECT_EQ(trace_.CountPrefix("port: "), opens);
}

TEST_F(ThreadTest, ChangePortShowsInitializingAtOnceAndOnlyOnce) {
  auto other = sim::Pty::Open();
  ports_.SetOverride(8, other->SlavePath());
  Start(kPtyPort);
  ASSERT_TRUE(pty_->Write(MakeFrame(MakePayload(7))));
  ASSERT_TRUE(StepUntil([&] { return Shows("OK"); }));
  thread_->ChangePort(8);
  EXPECT_EQ(form_.shown.back(), (CommStatus{"Initializing...", 0x0000FFFF}));  // on the UI thread
  ASSERT_TRUE(StepUntil([&] { return trace_.CountPrefix("port: 8 -> 0") == 1; }, 3));
  ASSERT_TRUE(other->Write(MakeFrame(MakePayload(8))));
  ASSERT_TRUE(StepUntil([&] { return model_.DecodedCount() == 2; }));
  EXPECT_EQ(form_.Count("Initializing..."), 2);  // at the start and at the change
  EXPECT_TRUE(Shows("OK"));
  EXPECT_EQ(thread_->PortNumber(), 8);
}

TEST_F(ThreadTest, PortChangeDuringTheOpenStepIsNotLost) {
  auto other = sim::Pty::Open();
  ports_.SetOverride(8, other->SlavePath());
  bool changed = false;
  // Right after the worker opened port 7, and before it records that it is receiving, the UI
  // thread switches to port 8.
  trace_.SetHook([&](const std::string& line) {
    if (!changed && line.rfind("port: 7 -> 0", 0) == 0) {
      changed = true;
      ui_.RunOnUi([&] { thread_->ChangePort(8); });
    }
  });
  Start(kPtyPort);
  ASSERT_TRUE(changed);
  ASSERT_TRUE(StepUntil([&] { return trace_.CountPrefix("port: 8 -> 0") == 1; }, 3));
  ASSERT_TRUE(other->Write(MakeFrame(MakePayload(8))));
  ASSERT_TRUE(StepUntil([&] { return model_.DecodedCount() == 1; }));
  EXPECT_EQ(model_.Decoded()[0], MakePayload(8));
}

TEST_F(ThreadTest, FailedRefreshMakesTheNextCycleReopenAndKeepsTheStatus) {
  Start(kPtyPort);
  ASSERT_TRUE(pty_->Write(MakeFrame(MakePayload(1))));
  ASSERT_TRUE(StepUntil([&] { return Shows("OK"); }));
  ASSERT_TRUE(Step(40));
  model_.fail_refreshes_ = 1;
  ASSERT_TRUE(pty_->Write(MakeFrame(MakePayload(2))));
  ASSERT_TRUE(StepUntil([&] { return trace_.CountPrefix("port: 7 -> 0") == 2; }));
  EXPECT_EQ(model_.DecodedCount(), 2u);  // decoded before the refresh failed
  EXPECT_EQ(trace_.CountPrefix("cycle: refresh on port 7 failed: refresh failed; reopening"), 1);
  ASSERT_TRUE(Step(40));              // the failed frame restarted the silence measure
  EXPECT_EQ(form_.shown.size(), 2u);  // nothing new was shown
  ASSERT_TRUE(pty_->Write(MakeFrame(MakePayload(3))));
  ASSERT_TRUE(StepUntil([&] { return model_.DecodedCount() == 3; }));
  EXPECT_EQ(model_.refreshes_, 3);
}

TEST_F(ThreadTest, FramesLeftByAFailedRefreshAreStillDecodedAfterTheReopen) {
  Start(kPtyPort);
  model_.fail_refreshes_ = 1;
  ASSERT_TRUE(pty_->Write(MakeFrame(MakePayload(1)) + MakeFrame(MakePayload(2)) +
                          MakeFrame(MakePayload(3)).substr(0, 50)));
  ASSERT_TRUE(StepUntil([&] { return model_.DecodedCount() == 2; }));
  EXPECT_EQ(trace_.CountPrefix("port: 7 -> 0"), 2);  // reopened in between
  EXPECT_EQ(model_.Decoded()[1], MakePayload(2));
  // The incomplete third frame was dropped at the reopen; its rest alone is not a frame.
  ASSERT_TRUE(pty_->Write(MakeFrame(MakePayload(3)).substr(50) + MakeFrame(MakePayload(4))));
  ASSERT_TRUE(StepUntil([&] { return model_.DecodedCount() == 3; }));
  EXPECT_EQ(model_.Decoded()[2], MakePayload(4));
}

TEST_F(ThreadTest, UnplugShowsTheOpenErrorAndReplugRecoversWithoutHelp) {
  const test_support::TempDir dir;
  const std::string link = dir / "charger";
  std::filesystem::create_symlink(pty_->SlavePath(), link);
  ports_.SetOverride(3, link);
  Start(3);
  ASSERT_TRUE(pty_->Write(MakeFrame(MakePayload(1))));
  ASSERT_TRUE(StepUntil([&] { return Shows("OK"); }));

  pty_->CloseMaster();  // cable pulled
  ASSERT_TRUE(StepUntilGone());
  ASSERT_TRUE(Step(4));  // two more attempts: over 3000 ms since the frame

  auto replugged = sim::Pty::Open();  // cable back, the same link now leads to a new device
  const auto fresh = dir / "charger.new";
  std::filesystem::create_symlink(replugged->SlavePath(), fresh);
  std::filesystem::rename(fresh, link);
  ASSERT_TRUE(StepUntil([&] { return trace_.CountPrefix("port: 3 -> 0") == 2; }, 10));
  // The reopen does not restart the silence measure: it runs from the last frame.
  ASSERT_TRUE(Step());
  EXPECT_TRUE(Shows("ERROR: timeout (no data)"));
  ASSERT_TRUE(replugged->Write(MakeFrame(MakePayload(2))));
  ASSERT_TRUE(StepUntil([&] { return Shows("OK"); }));
  EXPECT_EQ(model_.Decoded().back(), MakePayload(2));
}

TEST_F(ThreadTest, FailedReadsWithoutAHangUpCountAsNoBytes) {
  Start(kPtyPort);
  reads_.failures = 1;
  ASSERT_TRUE(pty_->Write(MakeFrame(MakePayload(1))));  // waiting in the driver as the read fails
  ASSERT_TRUE(StepUntil([&] { return Shows("OK"); }));
  EXPECT_EQ(model_.Decoded(), std::vector<std::string>{MakePayload(1)});

  reads_.failures = INT_MAX;
  ASSERT_TRUE(Step(59));
  EXPECT_TRUE(Shows("OK"));
  ASSERT_TRUE(Step());  // 3000 ms after the frame
  EXPECT_TRUE(Shows("ERROR: timeout (no data)"));
  EXPECT_EQ(trace_.CountPrefix("port: 7 -> 0"), 1);  // never reopened

  pty_->CloseMaster();  // now it hangs up too
  EXPECT_TRUE(StepUntilGone());
}

TEST_F(ThreadTest, SilenceMeasureHoldsAcrossTheTickCounterWrap) {
  Start(kPtyPort, 0xFFFFFFFFu - 1000u);  // wraps 1000 ms after the open
  ASSERT_TRUE(Step(59));
  EXPECT_EQ(form_.shown.size(), 1u);
  ASSERT_TRUE(Step());
  EXPECT_TRUE(Shows("ERROR: timeout (no data)"));
}

TEST(TickElapsed, WrapSafe) {
  const struct {
    std::uint32_t start, interval, now;
    bool elapsed;
  } cases[] = {
      {1000, 3000, 3999, false},
      {1000, 3000, 4000, true},
      {0xFFFFFF00u, 3000, 0x00000A00u, false},  // 2816 ms across the wrap
      {0xFFFFFF00u, 3000, 0x00000C00u, true},   // 3328 ms across the wrap
      {0xFFFFFFFFu, 1, 0, true},
      {5, 0, 5, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TickElapsed(c.start, c.interval, c.now), c.elapsed) << c.start << " " << c.now;
  }
}

// Real time from here on: the system clock and the real 50 ms cycle.
class RealTimeThreadTest : public testing::PtyFixture {
 protected:
  void TearDown() override {
    if (thread_) {
      thread_->Terminate();
      thread_->WaitFor();
    }
  }
  void Start(int port) {
    thread_ = std::make_unique<THardwareThread>(ui_, form_, model_, ports_);
    thread_->SetTrace([this](const std::string& line) {
      trace_.Add(line);
      ui_.WakeUi();  // conditions on the trace are checked again at once
    });
    thread_->ChangePort(port);
    thread_->Resume();
  }
  bool ServeUntil(const std::function<bool()>& done) {
    return ui_.ServeUntil(done, Clock::now() + kDeadline);
  }

  HandOffQueue ui_;
  testing::FakeModel model_{std::this_thread::get_id()};
  testing::FakeStatusView form_{std::this_thread::get_id()};
  testing::TraceLog trace_;
  std::unique_ptr<THardwareThread> thread_;
};

TEST_F(RealTimeThreadTest, ReceivesFramesAndShowsOk) {
  Start(kPtyPort);
  ASSERT_TRUE(ServeUntil([&] { return trace_.CountPrefix("port: 7 -> 0") == 1; }));
  for (unsigned i = 0; i < 3; ++i) {
    ASSERT_TRUE(pty_->Write(MakeFrame(MakePayload(i))));
    ASSERT_TRUE(ServeUntil([&] { return model_.DecodedCount() == i + 1; }));
  }
  ASSERT_TRUE(ServeUntil([&] { return form_.Last() == "OK"; }));
  EXPECT_EQ(model_.refreshes_, 3);
}

TEST_F(RealTimeThreadTest, TerminateDuringTheOpenPauseEndsPromptly) {
  Start(70);
  ASSERT_TRUE(ServeUntil([&] { return trace_.CountPrefix("port: 70") == 1; }));
  const auto start = Clock::now();
  thread_->Terminate();
  thread_->WaitFor();
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1100));
  EXPECT_TRUE(thread_->Finished());
}

TEST_F(RealTimeThreadTest, DestroyingARunningThreadEndsItsRun) {
  Start(kPtyPort);
  ASSERT_TRUE(ServeUntil([&] { return trace_.CountPrefix("port: 7 -> 0") == 1; }));
  thread_.reset();
  // The port is released with the thread: another open now succeeds.
  TComm comm(ports_);
  EXPECT_EQ(comm.Open(kPtyPort), kCommOk);
}

TEST_F(RealTimeThreadTest, NeverStartedThreadIsDestroyedQuietly) {
  thread_ = std::make_unique<THardwareThread>(ui_, form_, model_, ports_);
  thread_->ChangePort(kPtyPort);
  thread_.reset();
  EXPECT_EQ(form_.shown.size(), 1u);
}

}  // namespace
}  // namespace korvane::link
