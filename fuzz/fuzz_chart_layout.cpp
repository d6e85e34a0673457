// SPDX-License-Identifier: GPL-3.0-or-later
// The chart's layout and drawing fed arbitrary series: any kinds, any doubles (NaN, infinities,
// huge values), any client size. It must finish without crashing or hanging.
#include <span>

#include "fuzz_input.h"
#include "korvane/chart/canvas.h"
#include "korvane/chart/trend_chart.h"

namespace {

using namespace korvane::chart;

class NullCanvas final : public Canvas {
 public:
  void SetPen(const TPen&) override {}
  void SetBrush(const TBrush&) override {}
  void SetFont(const TFont&) override {}
  void FillRect(const TRect&) override {}
  void Rectangle(const TRect&) override {}
  void Line(int, int, int, int) override {}
  void Polyline(std::span<const TPoint>) override {}
  void TextOut(int, int, std::string_view) override {}
  void TextOutUp(int, int, std::string_view) override {}
  void DrawTextCentered(const TRect&, std::string_view) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  TTrendChart chart;
  const auto flags = input.Take<std::uint8_t>();
  chart.SetShowLegend(flags & 1);
  chart.SetShowTitle(flags & 2);
  chart.SetMonochrome(flags & 4);
  chart.SetSoftColors(flags & 8);
  chart.SetAxisXOnePerValue(flags & 16);
  chart.SetTitle(input.TakeString(40));
  chart.SetAxisYScale(input.Take<float>());
  chart.SetAxisXScale(input.Take<float>());
  chart.BeginUpdate();
  const int series = input.Take<std::uint8_t>() % 12;
  for (int s = 0; s < series && !input.Empty(); ++s) {
    auto* one = chart.AddSeries(static_cast<TSeriesKind>(input.Take<std::uint8_t>() % 3));
    one->SetCaption(input.TakeString(20));
    const int points = input.Take<std::uint8_t>() % 64;
    for (int p = 0; p < points && !input.Empty(); ++p) {
      const double x = input.Take<double>();
      const double y = input.Take<double>();
      one->AddXY(x, y);
    }
  }
  chart.SetClientSize(input.Take<std::uint16_t>() % 4000, input.Take<std::uint16_t>() % 4000);
  chart.EndUpdate();
  NullCanvas canvas;
  chart.InternalPaint(canvas);
  (void)chart.ClientToChart(input.Take<std::int16_t>(), input.Take<std::int16_t>());
  return 0;
}
