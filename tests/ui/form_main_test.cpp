// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include "korvane/chart/trend_series.h"
#include "korvane/link/hardware_thread.h"
#include "korvane/link/port_map.h"
#include "korvane/ui/settings_dialog.h"
#include "window_fixture.h"

namespace korvane::ui::testing {
namespace {

const QColor kYellow(0xFF, 0xFF, 0x00);
const QColor kLime(0x00, 0xFF, 0x00);
const QColor kRed(0xFF, 0x00, 0x00);

using FormMainTest = WindowTest;

TEST_F(FormMainTest, StartsWithInitializingAndPlaceholdersThenReportsAPortWithoutDevice) {
  storage.stored.CommPort = 70;  // numbers above 64 name no device
  Open();
  EXPECT_EQ(window->windowTitle(), "Korvane Connect 1.0");
  EXPECT_EQ(Status(), "Initializing...");
  EXPECT_EQ(LampColor(), kYellow);
  EXPECT_EQ(C().LabelRealTimeData->text(), "Real Time Data [Channel 1]");
  EXPECT_EQ(C().CommStatus->PortCaption()->text(), "Communication Status [COM70:9600,N,8,1]");
  for (FitLabel* dash : {C().LabelCurrentTime, C().LabelStartTime, C().LabelOperatingTime,
                         C().LabelOperationMode, C().LabelOperationStatus}) {
    EXPECT_EQ(dash->text(), "-") << dash->objectName().toStdString();
  }
  std::vector<FitLabel*> zeros = {C().LabelCycleNumber,    C().LabelInputVoltage,
                                  C().LabelOutputVoltage,  C().LabelOutputCurrent,
                                  C().LabelOutputCapacity, C().LabelTemperature};
  zeros.insert(zeros.end(), C().LabelCellVoltage.begin(), C().LabelCellVoltage.end());
  for (FitLabel* zero : zeros) {
    EXPECT_EQ(zero->text(), "0.000") << zero->objectName().toStdString();
  }

  ASSERT_TRUE(WaitStatus("ERROR: unable to open COM port"));
  EXPECT_EQ(LampColor(), kRed);
}

TEST_F(FormMainTest, ShowsTheChargersValuesAndOkInLime) {
  StartCharger();
  Open();
  ASSERT_TRUE(WaitStatus("OK"));
  EXPECT_EQ(LampColor(), kLime);
  ASSERT_TRUE(WaitUntil([&] { return C().LabelOperationMode->text() == "Charge"; }));
  ASSERT_TRUE(WaitFrames(2));
  EXPECT_EQ(C().LabelOperationStatus->text(), "CC-CV");
  EXPECT_NE(C().LabelCurrentTime->text(), "-");
  EXPECT_NE(C().LabelOutputVoltage->text(), "0.000");
  EXPECT_NE(C().LabelCellVoltage[0]->text(), "0.000");
  EXPECT_TRUE(C().LabelTemperature->text().contains(QChar(0x00B0)));
  // The default mask plots input and output voltage only.
  EXPECT_GT(Chart().Series(0)->Count(), 0);
  EXPECT_GT(Chart().Series(1)->Count(), 0);
  for (int cell = 2; cell < 9; ++cell) {
    EXPECT_EQ(Chart().Series(cell)->Count(), 0) << cell;
  }
}

TEST_F(FormMainTest, SettingsDialogOkAppliesChannelAndPortCancelChangesNothing) {
  StartCharger();
  Open();
  ASSERT_TRUE(WaitStatus("OK"));
  ASSERT_TRUE(WaitUntil([&] { return C().LabelOperationMode->text() == "Charge"; }));

  // Cancel: nothing changes.
  prompter.on_dialog = [](QDialog& dialog) {
    auto& settings = dynamic_cast<TFormSettings&>(dialog);
    EXPECT_EQ(settings.windowTitle(), "Korvane Connect Settings");
    EXPECT_EQ(settings.PortIndex(), kChargerPort - 1);
    EXPECT_EQ(settings.ChannelIndex(), 0);
    settings.Select(20, 1);
    return int(QDialog::Rejected);
  };
  window->MenuFileSettingsClick();
  EXPECT_EQ(prompter.dialogs, 1);
  EXPECT_EQ(window->CurrentSettings().CommPort, kChargerPort);
  EXPECT_EQ(window->CurrentSettings().Channel, 1);
  EXPECT_EQ(C().LabelRealTimeData->text(), "Real Time Data [Channel 1]");
  EXPECT_EQ(window->HardwareThread().PortNumber(), kChargerPort);

  // OK with the same port and the other channel: the link is not reset, the display switches.
  prompter.on_dialog = [](QDialog& dialog) {
    dynamic_cast<TFormSettings&>(dialog).Select(kChargerPort - 1, 1);
    return int(QDialog::Accepted);
  };
  window->MenuFileSettingsClick();
  EXPECT_EQ(Status(), "OK");
  EXPECT_EQ(C().LabelRealTimeData->text(), "Real Time Data [Channel 2]");
  EXPECT_EQ(C().LabelOperationMode->text(), "Discharge");
  EXPECT_EQ(window->HardwareData().ChannelIndex(), 1);

  // OK with another port: "Initializing..." in yellow at once.
  prompter.on_dialog = [](QDialog& dialog) {
    dynamic_cast<TFormSettings&>(dialog).Select(98, 1);
    return int(QDialog::Accepted);
  };
  window->MenuFileSettingsClick();
  EXPECT_EQ(Status(), "Initializing...");
  EXPECT_EQ(LampColor(), kYellow);
  EXPECT_EQ(C().CommStatus->PortCaption()->text(), "Communication Status [COM99:9600,N,8,1]");
  EXPECT_EQ(window->CurrentSettings().CommPort, 99);
}

TEST_F(FormMainTest, CheckBoxesSetAndClearTheirBitsAndFillOrEmptyTheirSeries) {
  StartCharger();
  storage.stored.ChartValuesMask = 0x200 | 3;  // bit 9 has no check box
  Open({.NoPromptOnClose = true});
  ASSERT_TRUE(WaitFrames(3));
  for (int bit = 0; bit < 9; ++bit) {
    QCheckBox* box = C().ChartCheckBoxes[static_cast<std::size_t>(bit)];
    const bool was_set = (window->CurrentSettings().ChartValuesMask >> bit) & 1u;
    EXPECT_EQ(box->isChecked(), was_set) << bit;
    QTest::mouseClick(box, Qt::LeftButton);
    const std::uint32_t mask = window->CurrentSettings().ChartValuesMask;
    EXPECT_EQ(((mask >> bit) & 1u) != 0, !was_set) << bit;
    EXPECT_EQ(window->HardwareData().ChartValuesMask(), mask) << bit;
    if (was_set) {
      EXPECT_EQ(Chart().Series(bit)->Count(), 0) << bit;
    } else {
      EXPECT_GE(Chart().Series(bit)->Count(), 3) << bit;
    }
  }
  // Now bits 2..8 are set and 0, 1 clear.
  EXPECT_EQ(window->CurrentSettings().ChartValuesMask, 0x200u | 0x1FCu);
  window->close();
  EXPECT_EQ(storage.stored.ChartValuesMask, 0x200u | 0x1FCu);
}

TEST_F(FormMainTest, TicksBeforeTheFirstFrameAreRememberedAndSaved) {
  storage.stored.CommPort = 70;
  Open({.NoPromptOnClose = true});
  QTest::mouseClick(C().ChartCheckBoxes[8], Qt::LeftButton);
  QTest::mouseClick(C().ChartCheckBoxes[0], Qt::LeftButton);
  EXPECT_EQ(window->CurrentSettings().ChartValuesMask, 0x102u);
  EXPECT_EQ(Chart().Series(8)->Count(), 0);
  window->close();
  EXPECT_EQ(storage.stored.ChartValuesMask, 0x102u);
}

TEST_F(FormMainTest, ResetChartRestartsThePlotAtTheNewestFrame) {
  StartCharger();
  Open();
  ASSERT_TRUE(WaitFrames(4));
  QTest::mouseClick(C().ButtonResetChart, Qt::LeftButton);
  EXPECT_LE(Chart().Series(0)->Count(), 1);
  const std::size_t history = window->HardwareData().HistorySize();
  EXPECT_GE(history, 4u);
  ASSERT_TRUE(WaitUntil([&] { return Chart().Series(0)->Count() >= 2; }));
  EXPECT_GT(window->HardwareData().HistorySize(), history);
}

TEST_F(FormMainTest, ClosePromptAnsweredNoOrCancelKeepsRunningAndSavesNothing) {
  StartCharger();
  Open();
  ASSERT_TRUE(WaitStatus("OK"));
  for (Answer answer : {Answer::kNo, Answer::kCancel}) {
    prompter.answer = answer;
    window->MenuFileExitClick();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->Closed());
    EXPECT_EQ(storage.saves, 0);
  }
  ASSERT_EQ(prompter.shown.size(), 2u);
  EXPECT_EQ(prompter.shown[0].kind, "ask");
  EXPECT_EQ(prompter.shown[0].caption, "Korvane Connect");
  EXPECT_EQ(prompter.shown[0].text, "Close the application?");
  // Acquisition goes on.
  const std::size_t frames = window->HardwareData().HistorySize();
  ASSERT_TRUE(WaitFrames(frames + 1));
  EXPECT_FALSE(window->HardwareThread().Finished());

  prompter.answer = Answer::kYes;
  storage.stored = {};
  window->close();
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(window->HardwareThread().Finished());
  EXPECT_EQ(storage.saves, 1);
  EXPECT_EQ(storage.stored.CommPort, kChargerPort);
  EXPECT_EQ(storage.stored.Channel, 1);
  EXPECT_EQ(storage.stored.ChartValuesMask, 3u);
}

TEST_F(FormMainTest, NoPromptOnCloseClosesAtOnce) {
  storage.stored.CommPort = 70;
  Open({.NoPromptOnClose = true});
  window->MenuFileExitClick();
  EXPECT_TRUE(prompter.shown.empty());
  EXPECT_TRUE(window->Closed());
  EXPECT_EQ(storage.saves, 1);
}

TEST_F(FormMainTest, QueryEndSessionAgreesWithoutThePromptStopsTheThreadAndSaves) {
  StartCharger();
  Open();
  ASSERT_TRUE(WaitStatus("OK"));
  prompter.answer = Answer::kCancel;
  EXPECT_TRUE(window->QueryEndSession());
  EXPECT_TRUE(prompter.shown.empty());
  EXPECT_TRUE(window->HardwareThread().Finished());
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(storage.saves, 1);
  EXPECT_EQ(storage.stored.CommPort, kChargerPort);
}

// A session save request (a checkpoint, or a log-off that is then cancelled) saves and keeps
// everything running; the session's real end reaches the program as a quit of the application,
// which closes without the prompt.
TEST_F(FormMainTest, SessionSaveKeepsRunningAndTheSessionsQuitClosesWithoutThePrompt) {
  StartCharger();
  Open();
  ASSERT_TRUE(WaitStatus("OK"));
  prompter.answer = Answer::kCancel;
  window->SaveForSession();
  EXPECT_EQ(storage.saves, 1);
  EXPECT_EQ(storage.stored.CommPort, kChargerPort);
  const std::size_t frames = window->HardwareData().HistorySize();
  EXPECT_TRUE(WaitFrames(frames + 2));
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(window->Closed());

  QEvent quit(QEvent::Quit);
  QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
  EXPECT_TRUE(prompter.shown.empty());
  EXPECT_TRUE(window->Closed());
  EXPECT_TRUE(window->HardwareThread().Finished());
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(storage.saves, 2);
}

TEST_F(FormMainTest, DebugTracesStatusesPortsAndFramesAndNothingWithoutIt) {
  StartCharger();
  for (const bool debug : {false, true}) {
    trace.str("");
    Open({.Debug = debug, .NoPromptOnClose = true});
    ASSERT_TRUE(WaitStatus("OK"));
    ASSERT_TRUE(WaitFrames(2));
    window->close();  // the thread has ended: the trace is complete
    const std::string lines = trace.str();
    if (!debug) {
      EXPECT_EQ(lines, "");
      continue;
    }
    for (const char* line :
         {"status: Initializing...\n", "status: OK\n", "port: 7", "frame: valid\n"}) {
      EXPECT_NE(lines.find(line), std::string::npos) << line << " in\n" << lines;
    }
  }
}

TEST_F(FormMainTest, DemoRunsTheSimulatedChargerOnTheConfiguredPortForThisRunOnly) {
  storage.stored.CommPort = 5;
  Open({.NoPromptOnClose = true, .Demo = true});
  EXPECT_EQ(window->Ports().DevicePath(5).rfind("/dev/pts/", 0), 0u);
  ASSERT_TRUE(WaitStatus("OK"));
  ASSERT_TRUE(WaitUntil([&] { return C().LabelOperationMode->text() == "Charge"; }));
  window->close();
  EXPECT_TRUE(storage.ports.empty());
  EXPECT_EQ(storage.stored.CommPort, 5);
}

}  // namespace
}  // namespace korvane::ui::testing
