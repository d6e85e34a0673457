// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QListWidget>
#include <QScreen>
#include <QScrollArea>
#include <sstream>

#include "fakes.h"
#include "korvane/ui/form_main.h"
#include "korvane/ui/main_layout.h"
#include "korvane/ui/screen_fit.h"
#include "korvane/ui/settings_dialog.h"
#include "runs/runs_window.h"

namespace korvane::ui::testing {
namespace {

// The main window with its menu bar, under a 20-pixel title bar; scroll bars 16 pixels thick.
TEST(ScreenFitTest, KeepsWhatFitsAndShrinksOnlyWhatOverflows) {
  const struct {
    QRect available;  // device pixels
    qreal ratio;
    QSize size;
    QPoint position;
    bool scrolls;
  } rows[] = {
      {{0, 0, 1024, 600}, 1, {785, 558}, {119, 11}, false},
      {{0, 0, 1280, 800}, 1, {785, 558}, {247, 111}, false},
      {{0, 0, 1920, 1080}, 1, {785, 558}, {567, 251}, false},
      {{0, 0, 1024, 600}, 2, {512, 280}, {0, 0}, true},
      {{0, 0, 1280, 800}, 2, {640, 380}, {0, 0}, true},
      {{0, 0, 1920, 1080}, 2, {801, 520}, {79, 0}, true},    // too tall only: a bar's width more
      {{0, 64, 1920, 1016}, 2, {801, 488}, {79, 32}, true},  // below a panel
      {{0, 0, 700, 1000}, 1, {700, 574}, {0, 203}, true},    // too wide only: a bar's height more
  };
  for (const auto& row : rows) {
    const ScreenFit fit = FitToScreen({.window = {785, 558},
                                       .frame = {0, 20, 0, 0},
                                       .available = row.available,
                                       .device_pixel_ratio = row.ratio,
                                       .scroll_bar = 16});
    SCOPED_TRACE(::testing::Message() << row.available.height() << " high at " << row.ratio);
    EXPECT_EQ(fit.size, row.size);
    EXPECT_EQ(fit.position, row.position);
    EXPECT_EQ(fit.scrolls, row.scrolls);
  }
}

// Run on screens of 800x800 (everything fits), 400x400 (the main window does not) and 512x300
// (the settings do not either, nor the Runs window's smallest layout).
TEST(ScreenFitTest, WindowsStayOnTheScreenAndScrollOnlyWhenTooSmall) {
  FileStorage storage;
  storage.stored.CommPort = 70;  // no device: nothing to receive
  ScriptedPrompter prompter;
  std::ostringstream trace;
  TFormMain window(storage, {.NoPromptOnClose = true}, FormMainSeams{&prompter, &trace});
  window.show();
  const QRect area = window.screen()->availableGeometry();
  const bool small = area.height() < kClientHeight;
  const bool dialog_small = area.height() < 320;  // 310 and its frame
  auto* client = window.findChild<QWidget*>("ClientArea");
  ASSERT_NE(client, nullptr);
  EXPECT_EQ(client->size(), QSize(kClientWidth, kClientHeight));
  EXPECT_EQ(qobject_cast<QScrollArea*>(window.centralWidget()) != nullptr, small);
  EXPECT_EQ(window.minimumSize() == window.maximumSize(), !small);
  EXPECT_TRUE(area.contains(window.frameGeometry()));

  TFormSettings dialog(window.Ports(), &window);
  dialog.show();
  EXPECT_TRUE(area.contains(dialog.frameGeometry()));
  EXPECT_EQ(dialog.size() == QSize(265, 310), !dialog_small);
  auto* list = dialog.findChild<QListWidget*>("ListSerialDevices");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->geometry(), QRect(16, 158, 233, 92));
  EXPECT_TRUE(list->isVisible());

  RunsWindow runs("", storage, prompter, trace);  // at its default 1120x700
  runs.show();
  EXPECT_TRUE(area.contains(runs.frameGeometry()));
}

}  // namespace
}  // namespace korvane::ui::testing
