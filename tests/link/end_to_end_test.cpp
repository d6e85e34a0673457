// The whole receive path against the simulated charger: pty, port, thread, cutter, the real
// decoder and model, with the window's side played by the test's own thread.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "korvane/chart/trend_chart.h"
#include "korvane/link/hardware_thread.h"
#include "korvane/model/hardware_data.h"
#include "korvane/sim/runner.h"
#include "korvane/sim/scenario.h"
#include "pty_fixture.h"
#include "thread_fakes.h"

namespace korvane::link {
namespace {

using Clock = std::chrono::steady_clock;

class CountingView final : public model::LiveView {
 public:
  void ShowLiveValues(const model::LiveValues& values) override {
    ++shown;
    last = values;
  }
  int shown = 0;
  model::LiveValues last;
};

class EndToEndTest : public testing::PtyFixture {
 protected:
  void SetUp() override {
    PtyFixture::SetUp();
    model_ = std::make_unique<model::THardwareData>(view_, chart_, 1, 0x1FF);
    thread_ = std::make_unique<THardwareThread>(ui_, form_, *model_, ports_);
    thread_->SetTrace([this](const std::string& line) {
      trace_.Add(line);
      ui_.WakeUi();
    });
    thread_->ChangePort(testing::kPtyPort);
    thread_->Resume();
    // Frames sent before the port is open would be purged by the open; start after it.
    ASSERT_TRUE(ServeUntil([&] { return trace_.CountPrefix("port: 7 -> 0") == 1; }));
  }

  void TearDown() override {
    runner_.reset();
    thread_->Terminate();
    thread_->WaitFor();
    thread_.reset();
    model_.reset();
  }

  bool ServeUntil(const std::function<bool()>& done, int seconds = 20) {
    return ui_.ServeUntil(done, Clock::now() + std::chrono::seconds(seconds));
  }

  void Run(const sim::RunnerOptions& options, std::uint64_t seed) {
    sim::ScenarioOptions scenario;
    scenario.seed = seed;
    runner_ = std::make_unique<sim::Runner>(
        *pty_, sim::MakeScenario(sim::ScenarioKind::kChargeDischarge, scenario), options);
    runner_->SetOnTransmission([this](const sim::RunnerStats&) { ui_.WakeUi(); });
    runner_->Start();
    ASSERT_TRUE(ServeUntil([&] { return runner_->Finished(); }));
    const auto sent = runner_->Stats();
    ASSERT_FALSE(sent.line_failed);
    ASSERT_EQ(sent.dropped_bytes, 0u);
    ASSERT_TRUE(ServeUntil([&] { return model_->HistorySize() >= sent.valid_frames; }));
  }

  HandOffQueue ui_;
  testing::FakeStatusView form_{std::this_thread::get_id()};
  testing::TraceLog trace_;
  CountingView view_;
  chart::TTrendChart chart_;
  std::unique_ptr<model::THardwareData> model_;
  std::unique_ptr<THardwareThread> thread_;
  std::unique_ptr<sim::Runner> runner_;
};

void ExpectSameChannel(const model::S_CHANNEL_DATA& got, const sim::ChannelState& sent,
                       std::size_t frame) {
  EXPECT_EQ(got.InputVoltage, sent.input_mv) << frame;
  EXPECT_EQ(got.OperationMode, sent.mode) << frame;
  EXPECT_EQ(got.OperationStatus, sent.status) << frame;
  EXPECT_EQ(got.CycleNumber, sent.cycle) << frame;
  EXPECT_EQ(got.OutputVoltage, sent.output_mv) << frame;
  EXPECT_EQ(got.OutputCurrent, sent.current_ma) << frame;
  EXPECT_EQ(got.OutputCapacity, sent.capacity_mah) << frame;
  EXPECT_EQ(got.Temperature, sent.temp_tenths) << frame;
  EXPECT_EQ(got.TemperatureSign, sent.temp_sign) << frame;
  EXPECT_EQ(got.TemperatureUnit, sent.temp_unit) << frame;
  for (std::size_t c = 0; c < 7; ++c) {
    EXPECT_EQ(got.CellVoltage[c], sent.cells_mv[c]) << frame << " cell " << c;
  }
}

TEST_F(EndToEndTest, EveryRecordSentArrivesWithTheSameValues) {
  sim::RunnerOptions options;
  options.interval = std::chrono::milliseconds(0);
  options.max_frames = 150;
  options.write_wait = std::chrono::milliseconds(2000);
  Run(options, 42);
  const auto history = model_->CopyHistory();
  ASSERT_EQ(history.size(), 150u);

  sim::ScenarioOptions scenario;
  scenario.seed = 42;
  auto expected = sim::MakeScenario(sim::ScenarioKind::kChargeDischarge, scenario);
  for (std::size_t i = 0; i < history.size(); ++i) {
    const sim::ChargerRecord sent = expected->Next();
    EXPECT_EQ(history[i].FrameCode, sent.frame_code);
    ExpectSameChannel(history[i].Channels[0], sent.channels[0], i);
    ExpectSameChannel(history[i].Channels[1], sent.channels[1], i);
  }
  // A charge on channel 1: charging or finished, with a plausible pack voltage.
  const auto& ch1 = history.back().Channels[0];
  EXPECT_TRUE(ch1.OperationMode == 1 || ch1.OperationMode == 5);
  EXPECT_GT(ch1.OutputVoltage, 2500);
  EXPECT_EQ(view_.last.OperationMode, "Charge");
  EXPECT_EQ(form_.Last(), "OK");
}

TEST_F(EndToEndTest, UnderSteadyLineFaultsEveryValidFrameIsDecodedExactlyOnce) {
  sim::RunnerOptions options;
  options.interval = std::chrono::milliseconds(0);
  options.max_frames = 400;
  options.write_wait = std::chrono::milliseconds(2000);
  options.faults.noise.every = 7;
  options.faults.noise_markers = true;
  options.faults.bad_checksum.every = 11;
  options.faults.bad_length.every = 13;
  options.faults.split.every = 5;
  options.faults.split_gap = std::chrono::milliseconds(20);
  options.faults.merge.every = 3;
  Run(options, 7);
  const auto sent = runner_->Stats();
  EXPECT_GT(sent.damaged_frames, 40u);
  EXPECT_EQ(sent.valid_frames + sent.damaged_frames, sent.frames);
  // Nothing more arrives: the count stays at the number of valid frames sent.
  ASSERT_TRUE(pty_->WaitDrained(std::chrono::seconds(5)));
  EXPECT_EQ(model_->HistorySize(), sent.valid_frames);
  EXPECT_GT(form_.Count("ERROR: wrong checksum"), 0);
  EXPECT_GT(form_.Count("ERROR: wrong frame length"), 0);
}

}  // namespace
}  // namespace korvane::link
