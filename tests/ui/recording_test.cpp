// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "korvane/record/recorder.h"
#include "korvane/record/store.h"
#include "korvane/ui/recording_indicator.h"
#include "korvane/ui/window_recording.h"
#include "window_fixture.h"

namespace korvane::ui::testing {
namespace {

class RecordingTest : public WindowTest {
 protected:
  RecordingIndicator* Indicator() { return window->Recording().Indicator(); }
  QTemporaryDir dir;
};

// Every frame the window shows is in the store once it has closed, and the run the charger was
// in ends interrupted; meanwhile the red REC mark says where the frames go.
TEST_F(RecordingTest, RecordsEveryFrameAndShowsWhere) {
  const std::string file = dir.filePath("store/recordings.sqlite").toStdString();
  storage.recording = {.Enabled = true, .File = file};
  StartCharger();
  Open({.NoPromptOnClose = true});
  ASSERT_TRUE(WaitFrames(3));
  ASSERT_NE(Indicator(), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return Indicator()->Writing(); }));
  EXPECT_TRUE(Indicator()->toolTip().contains(QString::fromStdString(file)));
  EXPECT_TRUE(Indicator()->isVisible());
  window->close();
  const std::size_t shown = window->HardwareData().HistorySize();

  const record::Store store(file);
  EXPECT_EQ(store.FrameCount(), static_cast<std::int64_t>(shown));
  const auto runs = store.Runs();
  ASSERT_FALSE(runs.empty());
  for (const record::RunSummary& run : runs) {
    EXPECT_NE(run.end_state, record::EndState::kInProgress);
  }
}

// A store that cannot be written pauses the recording with the reason in the tooltip; the live
// view goes on as ever.
TEST_F(RecordingTest, UnwritableStorePausesWithTheReasonAndNothingElseStops) {
  QFile plain(dir.filePath("plain"));
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.close();
  storage.recording = {.Enabled = true, .File = dir.filePath("plain/r.sqlite").toStdString()};
  StartCharger();
  Open({.NoPromptOnClose = true});
  ASSERT_TRUE(WaitStatus("OK"));
  ASSERT_TRUE(WaitUntil([&] { return Indicator()->toolTip().startsWith("Recording paused: "); }));
  EXPECT_FALSE(Indicator()->Writing());
  const std::size_t frames = window->HardwareData().HistorySize();
  EXPECT_TRUE(WaitFrames(frames + 2));
}

TEST_F(RecordingTest, OffMeansNoMarkAndNoFile) {
  StartCharger();
  Open({.NoPromptOnClose = true});
  ASSERT_TRUE(WaitFrames(2));
  EXPECT_EQ(Indicator(), nullptr);
  EXPECT_EQ(window->Recording().Recorder(), nullptr);
}

// The demo's simulated frames go to a temporary store that is gone when the window is.
TEST_F(RecordingTest, DemoRecordsIntoATemporaryStoreRemovedAtExit) {
  storage.recording = {.Enabled = true, .File = dir.filePath("mine.sqlite").toStdString()};
  Open({.NoPromptOnClose = true, .Demo = true});
  ASSERT_TRUE(WaitUntil([&] { return Indicator()->Writing(); }));
  const std::string file = window->Recording().Recorder()->Status().file;
  EXPECT_NE(file, storage.recording.File);
  EXPECT_TRUE(QFile::exists(QString::fromStdString(file)));
  window.reset();
  EXPECT_FALSE(QFile::exists(QString::fromStdString(file)));
  EXPECT_FALSE(QFile::exists(dir.filePath("mine.sqlite")));
}

}  // namespace
}  // namespace korvane::ui::testing
