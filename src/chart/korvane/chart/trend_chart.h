// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// TTrendChart: a chart of data series against a numeric (or one-tick-per-value) X axis and a
// numeric Y axis, with an optional title and legend. Create series with AddSeries, fill them with
// TTrendSeries::AddXY and wrap bulk loads in BeginUpdate/EndUpdate: outside such a bracket every
// mutation re-lays out the whole chart (Calculate) and asks for a repaint through the invalidate
// hook. The chart measures text through a TextMetrics (FixedTextMetrics until SetTextMetrics) and
// draws on any Canvas with InternalPaint; the Qt widget TTrendChartWidget supplies both and
// connects the hook to its repaint. Single-threaded: call it from the UI thread only.
//
//   auto* volts = chart.AddSeries(skLine);
//   volts->SetCaption("Output voltage");
//   chart.BeginUpdate();
//   volts->Clear();
//   for (const auto& s : samples) volts->AddXY(s.seconds, s.millivolts);
//   chart.EndUpdate();  // one layout, one repaint

#include "korvane/chart/canvas.h"
#include "korvane/chart/chart_types.h"
#include "korvane/chart/trend_series.h"
#include "korvane/color.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane::chart {

class TTrendChart {
 public:
  static constexpr int DefaultWidth = 300;
  static constexpr int DefaultHeight = 200;
  static constexpr int ExportWidth = 800;
  static constexpr int ExportHeight = 600;

  TTrendChart();
  ~TTrendChart();
  TTrendChart(const TTrendChart&) = delete;
  TTrendChart& operator=(const TTrendChart&) = delete;

  void SetTextMetrics(std::unique_ptr<TextMetrics> metrics);
  TextMetrics& Metrics() const { return *metrics_; }
  // Called whenever the chart needs repainting (after a layout or a paint-only change).
  void SetInvalidate(std::function<void()> hook) { invalidate_ = std::move(hook); }
  // The client size; a change re-lays out (Changed).
  void SetClientSize(int Width, int Height);
  int ClientWidth() const { return clientWidth_; }
  int ClientHeight() const { return clientHeight_; }

  // Series: the list order is the colour index.
  TTrendSeries* AddSeries(TSeriesKind Kind);
  // Ignores nullptr and series of other charts.
  void RemoveSeries(TTrendSeries* Series);
  void Clear();
  // Throws std::out_of_range for an index outside 0..count-1.
  TTrendSeries* GetSeries(int Index) const;
  TTrendSeries* Series(int Index) const { return GetSeries(Index); }
  int GetSeriesCount() const { return static_cast<int>(seriesList_.size()); }
  int SeriesCount() const { return GetSeriesCount(); }

  // A flag, not a counter: one EndUpdate ends any number of BeginUpdate calls. EndUpdate always
  // lays out and repaints.
  void BeginUpdate() { updating_ = true; }
  void EndUpdate();
  bool Updating() const { return updating_; }
  // Re-lays out for the client size and repaints, unless updating.
  void Changed();

  bool ShowLegend() const { return showLegend_; }
  void SetShowLegend(bool value);
  bool ShowTitle() const { return showTitle_; }
  void SetShowTitle(bool value);
  bool ShowXGrid() const { return showXGrid_; }
  void SetShowXGrid(bool value);
  bool ShowYGrid() const { return showYGrid_; }
  void SetShowYGrid(bool value);
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& value);
  const TFont& TitleFont() const { return titleFont_; }
  void SetTitleFont(const TFont& value);
  const TFont& NormalFont() const { return normalFont_; }
  const std::string& AxisXTitle() const { return axisXTitle_; }
  void SetAxisXTitle(const std::string& value);
  const std::string& AxisYTitle() const { return axisYTitle_; }
  void SetAxisYTitle(const std::string& value);
  bool AxisXOnePerValue() const { return axisXOnePerValue_; }
  void SetAxisXOnePerValue(bool value);
  // Tick labels show value / scale; 0 is stored as 1.
  float AxisXScale() const { return axisXScale_; }
  void SetAxisXScale(float value);
  float AxisYScale() const { return axisYScale_; }
  void SetAxisYScale(float value);
  bool Monochrome() const { return monochrome_; }
  void SetMonochrome(bool value);
  bool SoftColors() const { return softColors_; }
  void SetSoftColors(bool value);
  TColor Color() const { return color_; }
  void SetColor(TColor value);

  // Layout pass for a drawing area of the given size; drawing reads only its results.
  void Calculate(int Width, int Height);
  std::string GetLabel(double Value) const;
  // Pixel position of a value pair under the last layout. In one-per-value mode Px comes from the
  // tick of exactly that X and is left unchanged when there is none.
  void ChartToClient(double X, double Y, int& Px, int& Py) const;
  // Values at a pixel inside the plot area; nullopt outside it or without data. In one-per-value
  // mode X is the value of the nearest tick.
  std::optional<std::pair<double, double>> ClientToChart(int Px, int Py) const;
  // Lays out for an export image (800 x 600, taller when the legend needs it) and returns its
  // size; restore the client layout with Calculate(ClientWidth(), ClientHeight()) after drawing.
  std::pair<int, int> PrepareExportLayout();

  // Draws the whole chart from the last layout.
  void InternalPaint(Canvas& canvas) const;

  // Results of the last layout.
  const TRect& RcChart() const { return rcChart_; }
  const TRect& RcLegend() const { return rcLegend_; }
  const TRect& RcTitle() const { return rcTitle_; }
  const std::vector<TAxisInfo>& XAxis() const { return xAxis_; }
  const std::vector<TAxisInfo>& YAxis() const { return yAxis_; }
  int ZeroY() const { return zeroY_; }
  int BarCount() const { return barCount_; }
  int BarWidth() const { return barWidth_; }
  bool Empty() const { return empty_; }
  int ChartWidth() const { return chartWidth_; }
  int ChartHeight() const { return chartHeight_; }
  double XMin() const { return xMin_; }
  double XScale() const { return xScale_; }
  int XOrigin() const { return xOrigin_; }
  double YMin() const { return yMin_; }
  double YScale() const { return yScale_; }
  int YOrigin() const { return yOrigin_; }

 private:
  class Painter;

  void Invalidate() const;
  // A plot with no height has nothing to scale values onto: it gets no ticks and no series
  // geometry, and nothing is drawn inside it.
  bool PlotCollapsed() const { return rcChart_.Height() <= 0; }
  // Layout steps up to the legend, with the title measured at the given width.
  void LayoutFrame(int Width, int Height, int titleWidth);
  void ClearAxis();
  void BuildYAxis();
  void AdjustYAxis();
  void LayoutLegend();
  void BuildXAxis();
  void BuildCategoryXAxis();
  void BuildNumericXAxis();
  void CalculateSeries();

  std::unique_ptr<TextMetrics> metrics_;
  std::function<void()> invalidate_;
  int clientWidth_ = DefaultWidth;
  int clientHeight_ = DefaultHeight;

  bool showLegend_ = true;
  bool showTitle_ = true;
  bool showXGrid_ = true;
  bool showYGrid_ = true;
  std::string title_ = "Chart Title";
  TFont titleFont_{"Arial", 14};
  std::string axisXTitle_ = "X Axis";
  std::string axisYTitle_ = "Y Axis";
  bool axisXOnePerValue_ = false;
  float axisXScale_ = 1.0f;
  float axisYScale_ = 1.0f;
  bool monochrome_ = false;
  bool softColors_ = false;
  TColor color_ = 0x00FFFFFF;
  TFont normalFont_{"Arial", 8};

  bool updating_ = false;
  std::vector<std::unique_ptr<TTrendSeries>> seriesList_;
  std::vector<TAxisInfo> xAxis_;
  std::vector<TAxisInfo> yAxis_;
  int barCount_ = 0;
  int barWidth_ = 0;
  int chartWidth_ = 0;
  int chartHeight_ = 0;
  int zeroY_ = 0;
  bool empty_ = true;
  bool titleShown_ = false;
  TRect rcChart_;
  TRect rcLegend_;
  TRect rcTitle_;
  double xMin_ = 0;
  double xScale_ = 0;
  int xOrigin_ = 0;
  double yMin_ = 0;
  double yScale_ = 0;
  int yOrigin_ = 0;
};

}  // namespace korvane::chart
