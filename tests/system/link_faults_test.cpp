// SPDX-License-Identifier: GPL-3.0-or-later
// The receive path end to end under line faults and cable pulls: the simulated charger on real
// ptys, the real port, thread, cutter, decoder, model and chart; the test's thread is the UI.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "../link/thread_fakes.h"
#include "korvane/chart/trend_chart.h"
#include "korvane/link/hardware_thread.h"
#include "korvane/link/port_map.h"
#include "korvane/model/hardware_data.h"
#include "korvane/sim/frame_encoder.h"
#include "korvane/sim/pty.h"
#include "korvane/sim/runner.h"
#include "korvane/sim/scenario.h"
#include "system_support.h"

namespace korvane::system_test {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;
using link::CommStatus;
using link::testing::FakeStatusView;
using link::testing::SteppedClock;

constexpr int kPort = 7;

class NullView final : public model::LiveView {
 public:
  void ShowLiveValues(const model::LiveValues&) override {}
};

// A frame no scenario sends (frame code 0xA5): sent last, its decode proves every byte before it
// has been handled.
std::string SentinelFrame() {
  sim::ChargerRecord record;
  record.frame_code = 0xA5;
  return sim::EncodeFrame(record);
}

// Published statuses change on every entry: the thread shows a status only when it differs.
void ExpectEachStatusShownOnChangeOnly(const std::vector<CommStatus>& shown) {
  for (std::size_t i = 1; i < shown.size(); ++i) {
    EXPECT_NE(shown[i].text, shown[i - 1].text) << "entry " << i;
  }
}

std::vector<std::string> Texts(const std::vector<CommStatus>& shown) {
  std::vector<std::string> texts;
  for (const auto& s : shown) {
    texts.push_back(s.text);
  }
  return texts;
}

// The real clock and the real 50 ms cycle: the runner's pauses are real time too.
class LinkUnderFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    pty_ = sim::Pty::Open();
    ports_.SetOverride(kPort, pty_->SlavePath());
    model_ = std::make_unique<model::THardwareData>(view_, chart_, 1, 0x1FF);
    sink_ = std::make_unique<CountingSink>(*model_);
    thread_ = std::make_unique<link::THardwareThread>(ui_, form_, *sink_, ports_);
    thread_->SetTrace([this](const std::string& line) {
      events_.Add(line);
      ui_.WakeUi();
    });
    thread_->ChangePort(kPort);
    thread_->Resume();
    // The open purges what was queued before it; the runner starts after it.
    ASSERT_TRUE(Serve([&] { return events_.opened == 1; }));
  }

  void TearDown() override {
    runner_.reset();
    if (thread_) {
      thread_->Terminate();
      thread_->WaitFor();
    }
    EXPECT_FALSE(form_.wrong_thread_);
  }

  bool Serve(const std::function<bool()>& done, std::chrono::seconds limit = 60s) {
    return ui_.ServeUntil(done, SteadyClock::now() + limit);
  }

  // Plays the run to its end, then the sentinel, and waits until the sentinel is decoded and its
  // "OK" shown.
  sim::RunnerStats Play(sim::RunnerOptions options, std::uint64_t seed) {
    options.write_wait = 10s;  // the receiver keeps reading: nothing may be dropped
    sim::ScenarioOptions scenario;
    scenario.seed = seed;
    runner_ = std::make_unique<sim::Runner>(
        *pty_, sim::MakeScenario(sim::ScenarioKind::kChargeDischarge, scenario), options);
    runner_->SetOnTransmission([this](const sim::RunnerStats&) { ui_.WakeUi(); });
    runner_->Start();
    EXPECT_TRUE(Serve([&] { return runner_->Finished(); }));
    const sim::RunnerStats sent = runner_->Stats();
    EXPECT_FALSE(sent.line_failed);
    EXPECT_EQ(sent.dropped_bytes, 0u);
    EXPECT_TRUE(pty_->Write(SentinelFrame()));
    EXPECT_TRUE(Serve([&] {
      const auto last = model_->LastRecord();
      return last && last->FrameCode == 0xA5 && form_.Last() == link::kStatusOk;
    })) << "decoded "
        << sink_->Decoded() << " of " << sent.valid_frames << " + 1";
    return sent;
  }

  link::HandOffQueue ui_;
  FakeStatusView form_{std::this_thread::get_id()};
  LinkEvents events_;
  NullView view_;
  chart::TTrendChart chart_;
  link::PortMap ports_;
  std::unique_ptr<sim::Pty> pty_;
  std::unique_ptr<model::THardwareData> model_;
  std::unique_ptr<CountingSink> sink_;
  std::unique_ptr<link::THardwareThread> thread_;
  std::unique_ptr<sim::Runner> runner_;
};

enum class Errors {
  kNone,                // no frame result but valid
  kChecksumPerDamaged,  // one wrong checksum per damaged frame, nothing else
  kLengthPerDamaged,    // one wrong length per damaged frame, nothing else
  kSomeLength,          // wrong lengths from the noise's markers, no wrong checksum
};

struct FaultCase {
  const char* name;
  std::function<void(sim::FaultOptions&)> set;
  Errors errors;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
  *os << c.name;
}

class EachFaultAlone : public LinkUnderFaults, public ::testing::WithParamInterface<FaultCase> {};

// 301 frames back to back with one kind of fault every few frames (never on the last).
TEST_P(EachFaultAlone, EveryValidFrameIsDecodedOnceAndEveryDamagedOneReportedOnce) {
  sim::RunnerOptions options;
  options.interval = 0ms;
  options.max_frames = 301;
  GetParam().set(options.faults);
  const sim::RunnerStats sent = Play(options, 11);

  EXPECT_EQ(sent.frames, 301u);
  EXPECT_EQ(sent.valid_frames + sent.damaged_frames, sent.frames);
  EXPECT_EQ(sink_->Decoded(), sent.valid_frames + 1);
  EXPECT_EQ(events_.valid, sent.valid_frames + 1);
  EXPECT_EQ(model_->HistorySize(), sent.valid_frames + 1);

  std::set<std::string> allowed = {link::kStatusInitializing, link::kStatusOk};
  switch (GetParam().errors) {
    case Errors::kNone:
      EXPECT_EQ(sent.damaged_frames, 0u);
      EXPECT_EQ(events_.wrong_checksum, 0u);
      EXPECT_EQ(events_.wrong_length, 0u);
      break;
    case Errors::kChecksumPerDamaged:
      EXPECT_EQ(sent.damaged_frames, 75u);
      EXPECT_EQ(events_.wrong_checksum, sent.damaged_frames);
      EXPECT_EQ(events_.wrong_length, 0u);
      allowed.insert(link::kStatusWrongChecksum);
      EXPECT_GT(form_.Count(link::kStatusWrongChecksum), 0);
      break;
    case Errors::kLengthPerDamaged:
      EXPECT_EQ(sent.damaged_frames, 75u);
      EXPECT_EQ(events_.wrong_length, sent.damaged_frames);
      EXPECT_EQ(events_.wrong_checksum, 0u);
      allowed.insert(link::kStatusWrongLength);
      EXPECT_GT(form_.Count(link::kStatusWrongLength), 0);
      break;
    case Errors::kSomeLength:
      EXPECT_EQ(sent.damaged_frames, 0u);
      EXPECT_GT(events_.wrong_length, 0u);
      EXPECT_EQ(events_.wrong_checksum, 0u);
      allowed.insert(link::kStatusWrongLength);
      break;
  }
  for (const auto& status : form_.shown) {
    EXPECT_TRUE(allowed.count(status.text)) << status.text;
  }
  ExpectEachStatusShownOnChangeOnly(form_.shown);
  EXPECT_EQ(form_.shown.front().text, link::kStatusInitializing);
  EXPECT_EQ(form_.shown.back(), (CommStatus{link::kStatusOk, link::kColorOk}));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, EachFaultAlone,
    ::testing::Values(
        FaultCase{"Noise",
                  [](sim::FaultOptions& f) {
                    f.noise.every = 2;
                    f.noise_max_bytes = 100;
                  },
                  Errors::kNone},
        FaultCase{"NoiseWithMarkers",
                  [](sim::FaultOptions& f) {
                    f.noise.every = 2;
                    f.noise_max_bytes = 100;
                    f.noise_markers = true;
                  },
                  Errors::kSomeLength},
        FaultCase{"WrongChecksum", [](sim::FaultOptions& f) { f.bad_checksum.every = 4; },
                  Errors::kChecksumPerDamaged},
        FaultCase{"WrongLength", [](sim::FaultOptions& f) { f.bad_length.every = 4; },
                  Errors::kLengthPerDamaged},
        FaultCase{"SplitWrites",
                  [](sim::FaultOptions& f) {
                    f.split.every = 3;
                    f.split_parts = 4;
                    f.split_gap = 15ms;
                  },
                  Errors::kNone},
        FaultCase{"MergedWrites", [](sim::FaultOptions& f) { f.merge.every = 2; }, Errors::kNone}),
    [](const auto& info) { return std::string(info.param.name); });

struct SilenceCase {
  const char* name;
  std::chrono::milliseconds pause;
  std::vector<std::string> statuses;
};

void PrintTo(const SilenceCase& c, std::ostream* os) {
  *os << c.name;
}

class Silence : public LinkUnderFaults, public ::testing::WithParamInterface<SilenceCase> {};

// Five frames back to back; the third comes after a pause. Longer than 3000 ms, the pause
// shows the timeout, which the next frame replaces; shorter, the status stays "OK".
TEST_P(Silence, TimeoutFollowsThePauseAndTheNextFrameReplacesIt) {
  sim::RunnerOptions options;
  options.interval = 0ms;
  options.max_frames = 5;
  options.faults.silence.every = 3;
  options.faults.silence_time = GetParam().pause;
  const sim::RunnerStats sent = Play(options, 5);
  EXPECT_EQ(sent.valid_frames, 5u);
  EXPECT_EQ(sink_->Decoded(), 6u);
  EXPECT_EQ(Texts(form_.shown), GetParam().statuses);
  for (const auto& status : form_.shown) {
    if (status.text == link::kStatusTimeout) {
      EXPECT_EQ(status.color, link::kColorTimeout);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pauses, Silence,
    ::testing::Values(SilenceCase{"Long",
                                  3500ms,
                                  {link::kStatusInitializing, link::kStatusOk, link::kStatusTimeout,
                                   link::kStatusOk}},
                      SilenceCase{"Short", 2000ms, {link::kStatusInitializing, link::kStatusOk}}),
    [](const auto& info) { return std::string(info.param.name); });

std::string NumberedFrame(int n) {
  sim::ChargerRecord record;
  record.frame_code = static_cast<std::uint8_t>(n);
  record.channels[0].cycle = static_cast<std::uint8_t>(n >> 8);
  return sim::EncodeFrame(record);
}

// Cable pulls with a stepped clock, so the 1000 ms open retries take no real time. The port
// number names a symbolic link that a replug points at a new pty, as udev does for a by-id name.
class SteppedReplug : public ::testing::Test {
 protected:
  static constexpr int kLinkedPort = 3;

  void SetUp() override {
    link_path_ = dir_ / "charger";
    pty_ = sim::Pty::Open();
    std::filesystem::create_symlink(pty_->SlavePath(), link_path_);
    ports_.SetOverride(kLinkedPort, link_path_);
    auto clock = std::make_unique<SteppedClock>(ui_, 5000);
    clock_ = clock.get();
    thread_ = std::make_unique<link::THardwareThread>(ui_, form_, sink_, ports_, std::move(clock));
    thread_->SetTrace([this](const std::string& line) { events_.Add(line); });
    thread_->ChangePort(kLinkedPort);
    thread_->Resume();
    ASSERT_TRUE(Settle());
  }

  void TearDown() override {
    thread_->Terminate();
    thread_->WaitFor();
    EXPECT_FALSE(form_.wrong_thread_);
  }

  bool Settle() {
    return ui_.ServeUntil([&] { return clock_->Idle(); }, SteadyClock::now() + 10s);
  }
  bool Step() {
    clock_->Grant(1);
    return Settle();
  }
  // Runs cycles until `done`; a pty hands bytes over asynchronously, so allow a few.
  bool StepUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 40 && !done(); ++i) {
      clock_->Grant(1);
      if (!Settle()) {
        return false;
      }
    }
    return done();
  }
  // Runs cycles until `done`, for as long as real time allows: the kernel reports a hang-up to
  // the other side asynchronously, so however many cycles run, it may take a moment to show.
  bool StepUntilInRealTime(const std::function<bool()>& done) {
    const auto deadline = SteadyClock::now() + 10s;
    while (!done() && SteadyClock::now() < deadline) {
      clock_->Grant(1);
      if (!Settle()) {
        return false;
      }
      std::this_thread::sleep_for(1ms);  // lets the kernel's hang-up work run
    }
    return done();
  }
  // Runs cycles until the thread has read everything written so far.
  bool StepUntilRead() {
    return StepUntil([&] { return pty_->WaitDrained(20ms); });
  }

  // Pulls the cable and waits until the thread reports the port gone; then plugs a new pty in
  // behind the same link and waits until the thread has opened it.
  bool Replug() {
    const std::uint64_t failed = events_.open_failed;
    const std::uint64_t opened = events_.opened;
    pty_->CloseMaster();
    if (!StepUntilInRealTime([&] {
          return events_.open_failed > failed && form_.Last() == link::kStatusOpenFailed;
        })) {
      return false;
    }
    pty_.reset();
    pty_ = sim::Pty::Open();
    const std::string fresh = link_path_ + ".new";
    std::filesystem::create_symlink(pty_->SlavePath(), fresh);
    std::filesystem::rename(fresh, link_path_);
    return StepUntil([&] { return events_.opened == opened + 1; });
  }

  TempDir dir_;
  std::string link_path_;
  link::HandOffQueue ui_;
  FakeStatusView form_{std::this_thread::get_id()};
  NullView view_;
  chart::TTrendChart chart_;
  model::THardwareData model_{view_, chart_, 1, 0x3};
  CountingSink sink_{model_};
  LinkEvents events_;
  link::PortMap ports_;
  std::unique_ptr<sim::Pty> pty_;
  SteppedClock* clock_ = nullptr;
  std::unique_ptr<link::THardwareThread> thread_;
};

TEST_F(SteppedReplug, TwoHundredUnplugsRecoverEveryTimeAndLeakNoDescriptor) {
  constexpr int kReplugs = 200;
  ASSERT_TRUE(pty_->Write(NumberedFrame(0)));
  ASSERT_TRUE(StepUntil([&] { return sink_.Decoded() == 1 && form_.Last() == link::kStatusOk; }));

  const int fds_before = OpenFdCount();
  const auto started = SteadyClock::now();
  for (int n = 1; n <= kReplugs; ++n) {
    SCOPED_TRACE("replug " + std::to_string(n));
    ASSERT_TRUE(Replug());
    ASSERT_TRUE(pty_->Write(NumberedFrame(n)));
    ASSERT_TRUE(StepUntil([&] {
      return sink_.Decoded() == static_cast<std::uint64_t>(n) + 1 &&
             form_.Last() == link::kStatusOk;
    }));
    const auto last = model_.LastRecord();
    ASSERT_TRUE(last);
    ASSERT_EQ(last->FrameCode, static_cast<std::uint8_t>(n));
    ASSERT_EQ(last->Channels[0].CycleNumber, static_cast<std::uint8_t>(n >> 8));
  }
  const double seconds = std::chrono::duration<double>(SteadyClock::now() - started).count();
  const int fds_after = OpenFdCount();
  std::printf("replug: %d unplug/replug cycles in %.2f s; open fds %d before, %d after\n", kReplugs,
              seconds, fds_before, fds_after);

  EXPECT_EQ(events_.hung_up, static_cast<std::uint64_t>(kReplugs));
  EXPECT_EQ(form_.Count(link::kStatusOk), kReplugs + 1);
  EXPECT_EQ(form_.Count(link::kStatusOpenFailed), kReplugs);
  EXPECT_EQ(events_.wrong_length + events_.wrong_checksum, 0u);
  EXPECT_EQ(model_.HistorySize(), static_cast<std::size_t>(kReplugs) + 1);
  // The same descriptors are open: one pty pair and the thread's port.
  EXPECT_LE(fds_after, fds_before + 2);
}

// The start of a frame cut off by an unplug must not be joined to the new device's first bytes:
// 60 + 64 bytes would make a 124-byte "frame" with a wrong checksum.
TEST_F(SteppedReplug, BytesFromBeforeAReplugNeverJoinTheNewDevicesBytes) {
  ASSERT_TRUE(pty_->Write(NumberedFrame(1)));
  ASSERT_TRUE(StepUntil([&] { return form_.Last() == link::kStatusOk; }));
  ASSERT_TRUE(pty_->Write(NumberedFrame(2).substr(0, 60)));  // the cable goes mid-frame
  ASSERT_TRUE(StepUntilRead());
  ASSERT_TRUE(Replug());
  // The new device is met mid-frame: its first bytes are the tail of a frame.
  ASSERT_TRUE(pty_->Write(NumberedFrame(3).substr(60)));
  ASSERT_TRUE(StepUntilRead());
  ASSERT_TRUE(Step());
  EXPECT_EQ(events_.wrong_length + events_.wrong_checksum, 0u);
  EXPECT_NE(form_.Last(), link::kStatusWrongChecksum);
  ASSERT_TRUE(pty_->Write(NumberedFrame(4)));
  ASSERT_TRUE(StepUntil([&] { return sink_.Decoded() == 2 && form_.Last() == link::kStatusOk; }));
  EXPECT_EQ(model_.LastRecord()->FrameCode, 4);
}

}  // namespace
}  // namespace korvane::system_test
