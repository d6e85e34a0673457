// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/review_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

namespace korvane::chart {
namespace {

TEST(ReviewView, ZoomKeepsTheTimeUnderTheCursor) {
  const double factors[] = {2, 1.25, 10, 0.8};
  const double pixels[] = {0, 1, 333.3, 550, 1099};
  for (const double f : factors) {
    for (const double px : pixels) {
      ReviewView view(5000, 5000 + 86'400'000.0, 1100);
      view.ZoomAt(550, 8);  // room to zoom out as well
      const double before = view.TimeAt(px);
      view.ZoomAt(px, f);
      const double msPerPixel = (view.End() - view.Start()) / view.Width();
      EXPECT_NEAR(view.TimeAt(px), before, msPerPixel) << f << " at " << px;
      EXPECT_NEAR(view.PixelAt(before), px, 1) << f << " at " << px;
    }
  }
}

TEST(ReviewView, StaysWithinTheSpanAndAboveTheNarrowestRange) {
  ReviewView view(0, 100'000, 1000);
  view.ZoomAt(100, 0.5);  // zooming out past the whole span
  EXPECT_EQ(view.Start(), 0);
  EXPECT_EQ(view.End(), 100'000);
  view.ZoomAt(1000, 1e6);  // zooming in past the narrowest range, at the right edge
  EXPECT_DOUBLE_EQ(view.End() - view.Start(), ReviewView::kMinVisibleMs);
  EXPECT_EQ(view.End(), 100'000);
  view.ZoomAt(500, 0);  // ignored
  EXPECT_DOUBLE_EQ(view.End() - view.Start(), ReviewView::kMinVisibleMs);
  view.Reset();
  EXPECT_EQ(view.Start(), 0);
  EXPECT_EQ(view.End(), 100'000);

  ReviewView empty(7000, 7000, 500);  // a run of one frame still has an axis
  EXPECT_EQ(empty.Start(), 7000);
  EXPECT_EQ(empty.End(), 7000 + ReviewView::kMinVisibleMs);
}

TEST(ReviewView, PanMovesByThePixelsWorthOfTime) {
  ReviewView view(0, 100'000, 1000);
  view.ZoomAt(500, 4);  // 25 s visible, 25 ms per pixel
  EXPECT_DOUBLE_EQ(view.Start(), 37'500);
  view.PanBy(100);  // dragging right brings earlier times in
  EXPECT_DOUBLE_EQ(view.Start(), 35'000);
  EXPECT_DOUBLE_EQ(view.End(), 60'000);
  view.PanBy(-40);
  EXPECT_DOUBLE_EQ(view.Start(), 36'000);
  view.PanBy(-1e9);  // stops at the end of the span, width kept
  EXPECT_DOUBLE_EQ(view.End(), 100'000);
  EXPECT_DOUBLE_EQ(view.Start(), 75'000);
  view.PanBy(1e9);
  EXPECT_DOUBLE_EQ(view.Start(), 0);
}

struct NearestCase {
  std::vector<double> xs;
  double time;
  std::optional<std::size_t> index;
};

TEST(NearestIndex, PicksTheNearestFrameAndTheEarlierOnATie) {
  // One frame per second over a 300 px plot of 3 s: 10 ms per pixel, so the pixel edge at 50 px
  // lies halfway between the first two frames.
  ReviewView view(0, 3000, 300);
  const std::vector<double> xs = {0, 1000, 2000, 3000};
  const NearestCase cases[] = {
      {xs, view.TimeAt(50), 0},
      {xs, view.TimeAt(50.001), 1},
      {xs, view.TimeAt(49.999), 0},
      {xs, view.TimeAt(150), 1},
      {xs, view.TimeAt(0), 0},
      {xs, view.TimeAt(300), 3},
      {xs, -5, 0},
      {xs, 5000, 3},
      {{0, 1000, 1000, 2000}, 1000, 1},  // repeated time: its first frame
      {{0, 1000, 1000, 2000}, 1500, 2},  // a tie after a repeat: the later of the two repeats
      {{0, 1000, 1000, 2000}, 1600, 3},
      {{42}, -1e9, 0},
      {{}, 10, std::nullopt},
      {xs, NAN, std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(NearestIndex(c.xs, c.time), c.index) << c.time;
}

}  // namespace
}  // namespace korvane::chart
