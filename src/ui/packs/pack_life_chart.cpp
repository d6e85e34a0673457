// SPDX-License-Identifier: GPL-3.0-or-later
#include "packs/pack_life_chart.h"

#include "korvane/chart/review_plot_widget.h"

#include <QPainter>
#include <QVBoxLayout>
#include <ctime>

#include "korvane/model/vocabulary.h"
#include "packs/pack_life_data.h"
#include "runs/run_texts.h"

namespace korvane::ui {
namespace {

// Tick labels in the C locale's words, as the rest of the program writes dates: "%x" for a day,
// the month's short name, the year, the hour.
std::string LocaleDateLabel(std::int64_t utc_ms, chart::ReviewDateUnit unit) {
  const auto seconds = static_cast<std::time_t>(utc_ms / 1000);
  std::tm tm{};
  if (localtime_r(&seconds, &tm) == nullptr)
    return {};
  const char* format = "%x";
  switch (unit) {
    case chart::ReviewDateUnit::kHour:
      format = "%H:%M";
      break;
    case chart::ReviewDateUnit::kMonth:
      format = "%b";
      break;
    case chart::ReviewDateUnit::kYear:
      format = "%Y";
      break;
    default:
      break;
  }
  char buf[64];
  const std::size_t n = std::strftime(buf, sizeof buf, format, &tm);
  return std::string(buf, n);
}

}  // namespace

PackLifeChart::PackLifeChart(QWidget* parent)
    : QWidget(parent), plot_(new chart::ReviewPlotWidget(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(plot_);
  chart::ReviewPlotStyle style;
  style.decimalSeparator = model::DecimalSeparator();
  style.timeAxis = chart::ReviewTimeAxis::kCalendar;
  style.dateLabel = LocaleDateLabel;
  style.localTime = [](std::int64_t utc_ms) { return LocalDateTimeText(utc_ms); };
  plot_->Plot().SetStyle(std::move(style));
  connect(plot_, &chart::ReviewPlotWidget::pointActivated, this, [this](int, int, qint64 key) {
    if (key >= 0)
      emit RunActivated(key);
  });
  SetPacks({}, {});
}

void PackLifeChart::SetPacks(const std::vector<record::PackFigures>& packs,
                             const std::vector<record::RunSummary>& runs) {
  plot_->SetTraces(PackLifeTraces(packs, runs));
}

void PackLifeChart::Render(QPainter& painter, const QRect& area) {
  painter.save();
  painter.translate(area.topLeft());
  painter.setClipRect(QRect(QPoint(0, 0), area.size()));
  plot_->Render(painter, area.size());
  painter.restore();
}

}  // namespace korvane::ui
