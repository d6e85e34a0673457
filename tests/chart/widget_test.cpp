// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/trend_chart_widget.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QImage>

// The real widget on Qt's offscreen platform with the real fonts. Pixels are checked only where
// the geometry does not depend on font rasterisation.
namespace korvane::chart {
namespace {

QImage Render(QWidget& widget) {
  return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Client coordinates to widget pixels: the single-line border is one pixel wide.
QRgb ClientPixel(const QImage& image, int x, int y) {
  return image.pixel(x + 1, y + 1);
}

TEST(TrendChartWidget, ClientAreaFollowsTheWidgetSize) {
  TTrendChartWidget widget;
  EXPECT_EQ(widget.size(), QSize(300, 200));
  widget.show();
  widget.resize(500, 320);
  EXPECT_EQ(widget.Chart().ClientWidth(), 498);
  EXPECT_EQ(widget.Chart().ClientHeight(), 318);
  EXPECT_EQ(widget.Chart().ChartWidth(), 498);
}

TEST(TrendChartWidget, DrawsAxesAndSeriesWhereTheLayoutPutsThem) {
  TTrendChartWidget widget;
  widget.resize(502, 302);
  TTrendChart& chart = widget.Chart();
  chart.SetTitle("Charge");
  TTrendSeries* flat = chart.AddSeries(skLine);
  TTrendSeries* other = chart.AddSeries(skLine);
  chart.BeginUpdate();
  flat->AddXY(0, 4);
  flat->AddXY(100, 4);
  other->AddXY(0, 3);
  other->AddXY(100, 5);
  chart.EndUpdate();

  const QImage image = Render(widget);
  const TRect rc = chart.RcChart();
  const int midX = (rc.Left + rc.Right) / 2;
  EXPECT_EQ(ClientPixel(image, midX + 7, rc.Bottom), qRgb(0, 0, 0)) << "X axis";
  EXPECT_EQ(ClientPixel(image, rc.Left, (rc.Top + rc.Bottom) / 2 + 7), qRgb(0, 0, 0)) << "Y axis";
  EXPECT_EQ(ClientPixel(image, rc.Right, rc.Top + 5), qRgb(0, 0, 0)) << "frame";
  const TXYInfo& p = flat->Values()[0];
  EXPECT_EQ(ClientPixel(image, midX + 3, p.Py), qRgb(255, 0, 0)) << "first series";
  EXPECT_EQ(ClientPixel(image, 3, 3), qRgb(255, 255, 255)) << "background";
  EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 0)) << "border";

  chart.SetColor(RgbToColor(0x10, 0x20, 0x30));
  EXPECT_EQ(ClientPixel(Render(widget), 3, 3), qRgb(0x10, 0x20, 0x30));
}

TEST(TrendChartWidget, BarsFillTheirRectangles) {
  TTrendChartWidget widget;
  widget.resize(402, 302);
  TTrendChart& chart = widget.Chart();
  chart.SetShowLegend(false);
  TTrendSeries* bars = chart.AddSeries(skBar);
  bars->AddXY(1, 2);
  bars->AddXY(2, 4);
  const QImage image = Render(widget);
  const TRect rc = bars->Values()[1].Rc;
  const int cx = (rc.Left + rc.Right) / 2;
  EXPECT_EQ(ClientPixel(image, cx, (rc.Top + rc.Bottom) / 2), qRgb(255, 0, 0));
  EXPECT_EQ(ClientPixel(image, rc.Left - 2, (rc.Top + rc.Bottom) / 2), qRgb(255, 255, 255));

  chart.SetMonochrome(true);
  const QImage mono = Render(widget);
  int black = 0;
  int white = 0;
  for (int x = rc.Left + 2; x < rc.Right - 2; ++x) {
    const QRgb c = ClientPixel(mono, x, rc.Top + 5);
    black += c == qRgb(0, 0, 0);
    white += c == qRgb(255, 255, 255);
  }
  EXPECT_GT(black, 0);
  EXPECT_GT(white, 0);  // patterned, not solid
}

TEST(TrendChartWidget, MetafileIs800By600UnlessTheLegendIsTaller) {
  TTrendChartWidget widget;
  widget.resize(300, 200);
  TTrendChart& chart = widget.Chart();
  chart.AddSeries(skLine)->AddXY(1, 1);
  QImage image = widget.CreateMetafile();
  EXPECT_EQ(image.size(), QSize(800, 600));
  EXPECT_EQ(chart.ChartWidth(), 298);  // client layout restored

  chart.BeginUpdate();
  for (int i = 0; i < 40; ++i)
    chart.AddSeries(skLine)->AddXY(i, i);
  chart.EndUpdate();
  image = widget.CreateMetafile();
  ASSERT_GT(image.height(), 600);
  chart.Calculate(800, image.height());
  EXPECT_EQ(image.height(), chart.RcLegend().Bottom + 20);

  widget.CopyToClipboard();
  EXPECT_EQ(QApplication::clipboard()->image().size(), image.size());
}

}  // namespace
}  // namespace korvane::chart
