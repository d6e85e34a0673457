// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/trend_chart.h"
#include "korvane/chart/fixed_text_metrics.h"

#include <algorithm>
#include <stdexcept>

namespace korvane::chart {
namespace {

// Compares first; returns whether the stored value changed.
template <typename T>
bool Assign(T& field, const T& value) {
  if (field == value)
    return false;
  field = value;
  return true;
}

}  // namespace

TTrendChart::TTrendChart() : metrics_(std::make_unique<FixedTextMetrics>()) {}

TTrendChart::~TTrendChart() = default;

void TTrendChart::SetTextMetrics(std::unique_ptr<TextMetrics> metrics) {
  metrics_ = metrics ? std::move(metrics) : std::make_unique<FixedTextMetrics>();
  Changed();
}

void TTrendChart::SetClientSize(int Width, int Height) {
  clientWidth_ = Width;
  clientHeight_ = Height;
  Changed();
}

void TTrendChart::Invalidate() const {
  if (invalidate_)
    invalidate_();
}

TTrendSeries* TTrendChart::AddSeries(TSeriesKind Kind) {
  seriesList_.push_back(std::unique_ptr<TTrendSeries>(new TTrendSeries(*this, Kind)));
  return seriesList_.back().get();
}

void TTrendChart::RemoveSeries(TTrendSeries* Series) {
  auto it = std::find_if(seriesList_.begin(), seriesList_.end(),
                         [Series](const auto& s) { return s.get() == Series; });
  if (Series == nullptr || it == seriesList_.end())
    return;
  seriesList_.erase(it);
  Changed();
}

void TTrendChart::Clear() {
  seriesList_.clear();
  ClearAxis();
  Changed();
}

TTrendSeries* TTrendChart::GetSeries(int Index) const {
  if (Index < 0 || Index >= GetSeriesCount()) {
    throw std::out_of_range("List index out of bounds (" + std::to_string(Index) + ")");
  }
  return seriesList_[static_cast<size_t>(Index)].get();
}

void TTrendChart::EndUpdate() {
  updating_ = false;
  Calculate(clientWidth_, clientHeight_);
  Invalidate();
}

void TTrendChart::Changed() {
  if (updating_)
    return;
  Calculate(clientWidth_, clientHeight_);
  Invalidate();
}

void TTrendChart::SetShowLegend(bool value) {
  if (Assign(showLegend_, value))
    Changed();
}

void TTrendChart::SetShowTitle(bool value) {
  if (Assign(showTitle_, value))
    Changed();
}

void TTrendChart::SetShowXGrid(bool value) {
  if (Assign(showXGrid_, value))
    Invalidate();
}

void TTrendChart::SetShowYGrid(bool value) {
  if (Assign(showYGrid_, value))
    Invalidate();
}

void TTrendChart::SetTitle(const std::string& value) {
  if (Assign(title_, value))
    Changed();
}

void TTrendChart::SetTitleFont(const TFont& value) {
  if (Assign(titleFont_, value))
    Changed();
}

void TTrendChart::SetAxisXTitle(const std::string& value) {
  if (Assign(axisXTitle_, value))
    Changed();
}

void TTrendChart::SetAxisYTitle(const std::string& value) {
  if (Assign(axisYTitle_, value))
    Changed();
}

void TTrendChart::SetAxisXOnePerValue(bool value) {
  if (Assign(axisXOnePerValue_, value))
    Changed();
}

void TTrendChart::SetAxisXScale(float value) {
  if (Assign(axisXScale_, value == 0.0f ? 1.0f : value))
    Changed();
}

void TTrendChart::SetAxisYScale(float value) {
  if (Assign(axisYScale_, value == 0.0f ? 1.0f : value))
    Changed();
}

void TTrendChart::SetMonochrome(bool value) {
  if (Assign(monochrome_, value))
    Changed();
}

void TTrendChart::SetSoftColors(bool value) {
  if (Assign(softColors_, value))
    Changed();
}

void TTrendChart::SetColor(TColor value) {
  if (Assign(color_, value))
    Invalidate();
}

std::pair<int, int> TTrendChart::PrepareExportLayout() {
  int height = ExportHeight;
  Calculate(ExportWidth, height);
  // A taller image moves the plot but not the legend box, so one regrowth suffices.
  if (rcLegend_.Bottom + 20 > height) {
    height = rcLegend_.Bottom + 20;
    Calculate(ExportWidth, height);
  }
  return {ExportWidth, height};
}

}  // namespace korvane::chart
