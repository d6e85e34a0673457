// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QScreen>
#include <cstdlib>
#include <sstream>

#include "fakes.h"
#include "korvane/ui/form_main.h"

namespace korvane::ui::testing {
namespace {

// Run at scale 1 (the window fits and is centred) and at scale 2 (the offscreen screen is then
// smaller than the window, which must keep its top-left corner on the screen).
TEST(PlacementTest, CentredWithinTheAvailableAreaAndNeverAboveOrLeftOfIt) {
  FileStorage storage;
  storage.stored.CommPort = 70;  // no device: nothing to receive
  ScriptedPrompter prompter;
  std::ostringstream trace;
  TFormMain window(storage, {.NoPromptOnClose = true}, FormMainSeams{&prompter, &trace});
  window.show();
  ASSERT_NE(window.screen(), nullptr);
  const QRect area = window.screen()->availableGeometry();
  const QRect frame = window.frameGeometry();
  SCOPED_TRACE(QString("area %1x%2, window %3x%4 at %5,%6")
                   .arg(area.width())
                   .arg(area.height())
                   .arg(frame.width())
                   .arg(frame.height())
                   .arg(frame.x())
                   .arg(frame.y())
                   .toStdString());
  // The frame's own margins are known only once it is shown: centring may be off by them.
  const int slack = frame.width() - window.width() + 1;
  const auto check_axis = [slack](int start, int length, int area_start, int area_length) {
    if (length <= area_length) {
      EXPECT_LE(std::abs(2 * (start - area_start) + length - area_length), slack);
    } else {
      EXPECT_EQ(start, area_start);
    }
  };
  check_axis(frame.x(), frame.width(), area.x(), area.width());
  check_axis(frame.y(), frame.height(), area.y(), area.height());
}

}  // namespace
}  // namespace korvane::ui::testing
