// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryFile>
#include <atomic>
#include <stdexcept>
#include <thread>

#include "fakes.h"
#include "korvane/link/port_map.h"
#include "korvane/link/status.h"
#include "korvane/ui/about_dialog.h"
#include "korvane/ui/fit_label.h"
#include "korvane/ui/fonts.h"
#include "korvane/ui/gradient_panel.h"
#include "korvane/ui/qt_dispatcher.h"
#include "korvane/ui/settings_dialog.h"
#include "korvane/ui/status_lamp.h"
#include "korvane/ui/version.h"

namespace korvane::ui::testing {
namespace {

QImage Grab(QWidget& widget) {
  return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

TEST(GradientPanel, RunsFromTheStartColourAtTheTopToTheEndColourAtTheBottom) {
  const QColor start(0x00, 0x00, 0x00);
  const QColor end(0x56, 0x56, 0x58);
  EXPECT_EQ(TGradientPanel::StepColor(start, end, 0), start);
  EXPECT_EQ(TGradientPanel::StepColor(start, end, TGradientPanel::kSteps - 1), end);

  TGradientPanel panel;
  panel.resize(20, 472);  // two pixels a step
  panel.SetStartColor(start);
  panel.SetEndColor(end);
  const QImage image = Grab(panel);
  EXPECT_EQ(QColor(image.pixel(5, 0)), start);
  EXPECT_EQ(QColor(image.pixel(5, 471)), end);
  int previous = -1;
  int changes = 0;
  for (int y = 0; y < 472; ++y) {
    const int blue = qBlue(image.pixel(5, y));
    EXPECT_GE(blue, previous);
    changes += blue != previous;
    previous = blue;
  }
  EXPECT_GT(changes, 50);  // stepped, not two flat halves
}

TEST(StatusLamp, ShowsEachStatusTextWithItsColour) {
  struct Case {
    const char* text;
    TColor stored;
    QColor rgb;
  };
  const Case cases[] = {
      {link::kStatusInitializing, link::kColorInitializing, QColor(0xFF, 0xFF, 0x00)},
      {link::kStatusOk, link::kColorOk, QColor(0x00, 0xFF, 0x00)},
      {link::kStatusOpenFailed, link::kColorOpenFailed, QColor(0xFF, 0x00, 0x00)},
      {link::kStatusTimeout, link::kColorTimeout, QColor(0xFF, 0x88, 0x00)},
      {link::kStatusWrongLength, link::kColorWrongLength, QColor(0xFF, 0xAA, 0x00)},
      {link::kStatusWrongChecksum, link::kColorWrongChecksum, QColor(0xFF, 0xCC, 0x00)},
  };
  QWidget client;
  client.resize(785, 537);
  StatusLamp lamp(&client);
  EXPECT_EQ(lamp.Lamp()->EndColor(), QColor(0xC0, 0xC0, 0xC0));
  for (const Case& c : cases) {
    lamp.ShowStatus(c.text, c.stored);
    EXPECT_EQ(lamp.StatusText()->text(), c.text);
    EXPECT_EQ(lamp.Lamp()->StartColor(), QColor(Qt::white)) << c.text;
    EXPECT_EQ(lamp.Lamp()->EndColor(), c.rgb) << c.text;
    const QImage image = Grab(*lamp.Lamp());
    // A 21-pixel lamp shows about eleven steps a row: the top row is still near white.
    EXPECT_GE(qGreen(image.pixel(2, 0)), 0xF0) << c.text;
    EXPECT_GE(qBlue(image.pixel(2, 0)), 0xF0) << c.text;
    EXPECT_EQ(QColor(image.pixel(2, image.height() - 1)), c.rgb) << c.text;
  }
  lamp.ShowPort(99);
  EXPECT_EQ(lamp.PortCaption()->text(), "Communication Status [COM99:9600,N,8,1]");
  lamp.ShowPort(3);
  EXPECT_EQ(lamp.PortCaption()->text(), "Communication Status [COM3:9600,N,8,1]");
}

TEST(FitLabel, ShrinksOnlyTextsThatWouldOverflow) {
  FitLabel label;
  label.resize(177, 25);
  label.SetBaseFont(UiFont(21, true));
  label.SetFittedText("CC-CV");
  EXPECT_EQ(label.font().pixelSize(), 21);
  label.SetFittedText("Current mode finished");
  EXPECT_LT(label.font().pixelSize(), 21);
  EXPECT_LE(QFontMetrics(label.font()).horizontalAdvance(label.text()), 177);
  label.SetFittedText("CUTOFF DIS");
  EXPECT_EQ(label.font().pixelSize(), 21);
}

TEST(SettingsDialog, ListsPortsAndChannelsAndSelectsWhatItIsGiven) {
  link::PortMap ports;
  TFormSettings dialog(ports, nullptr);
  EXPECT_EQ(dialog.windowTitle(), "Korvane Connect Settings");
  EXPECT_EQ(dialog.size(), QSize(265, 310));  // grown downward for the device list
  ASSERT_EQ(dialog.ComboBoxCommPort()->count(), 99);
  EXPECT_EQ(dialog.ComboBoxCommPort()->itemText(98), "99");
  EXPECT_EQ(dialog.ComboBoxChannel()->count(), 2);

  dialog.Select(2, 1);
  EXPECT_EQ(dialog.PortIndex(), 2);
  EXPECT_EQ(dialog.ChannelIndex(), 1);
  dialog.Select(99, 2);  // a stored port of 100 or a channel of 3: no selection
  EXPECT_EQ(dialog.PortIndex(), -1);
  EXPECT_EQ(dialog.ChannelIndex(), -1);
}

TEST(SettingsDialog, TellsWhichDeviceTheSelectedNumberMeansAndWhetherItExists) {
  QTemporaryFile device;
  ASSERT_TRUE(device.open());
  link::PortMap ports;
  ports.SetOverride(4, device.fileName().toStdString());
  ports.SetOverride(5, "/nonexistent/korvane-adapter");
  TFormSettings dialog(ports, nullptr);
  struct Case {
    int port;
    QString tip;
  };
  const Case cases[] = {
      {4, device.fileName() + " (present)"},
      {5, "/nonexistent/korvane-adapter (not present)"},
      {70, "no device for this number"},
  };
  for (const Case& c : cases) {
    dialog.ComboBoxCommPort()->setCurrentIndex(c.port - 1);
    EXPECT_EQ(dialog.DeviceLabel()->toolTip(), c.tip) << c.port;
    EXPECT_LE(
        QFontMetrics(dialog.DeviceLabel()->font()).horizontalAdvance(dialog.DeviceLabel()->text()),
        dialog.DeviceLabel()->width())
        << c.port;
  }
}

TEST(AboutDialog, ShowsTitleWithShadowAndTheVersion) {
  TFormAbout about(ProgramVersion{1, 2, 3, 4});
  auto* title = about.findChild<QLabel*>("LabelProduct");
  auto* shadow = about.findChild<QLabel*>("LabelProductShadow");
  auto* version = about.findChild<QLabel*>("LabelVersion");
  ASSERT_TRUE(title && shadow && version);
  EXPECT_EQ(title->text(), "Korvane Connect");
  EXPECT_EQ(shadow->text(), "Korvane Connect");
  EXPECT_EQ(shadow->pos() - title->pos(), QPoint(2, 1));
  EXPECT_EQ(version->text(), "Version 1.2.3 (Build 4)");
}

TEST(QtUiDispatcher, RunsWorkerHandOffsOnTheEventLoopAndRaisesTheirErrorsInTheWorker) {
  QtUiDispatcher dispatcher;
  std::atomic<bool> ran_on_ui{false};
  std::atomic<bool> error_seen{false};
  std::atomic<bool> done{false};
  const auto ui = std::this_thread::get_id();
  std::thread worker([&] {
    dispatcher.RunOnUi([&] { ran_on_ui = std::this_thread::get_id() == ui; });
    try {
      dispatcher.RunOnUi([] { throw std::runtime_error("refresh failed"); });
    } catch (const std::runtime_error&) {
      error_seen = true;
    }
    done = true;
  });
  const bool finished = WaitUntil([&] { return done.load(); });
  worker.join();
  ASSERT_TRUE(finished);
  EXPECT_TRUE(ran_on_ui);
  EXPECT_TRUE(error_seen);
}

}  // namespace
}  // namespace korvane::ui::testing
