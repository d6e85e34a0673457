// SPDX-License-Identifier: GPL-3.0-or-later
#include "packs/life_chart_stand_in.h"

#include <QPainter>

namespace korvane::ui {

LifeChartStandIn::LifeChartStandIn(QWidget* parent) : QWidget(parent) {
  setObjectName("PackLifeChart");
  setMinimumHeight(160);
}

void LifeChartStandIn::SetPacks(const std::vector<record::PackFigures>& packs,
                                const std::vector<record::RunSummary>& runs) {
  packs_ = static_cast<int>(packs.size());
  runs_ = static_cast<int>(runs.size());
  update();
}

void LifeChartStandIn::Render(QPainter& painter, const QRect& area) {
  painter.save();
  painter.drawRect(area.adjusted(0, 0, -1, -1));
  painter.drawText(area, Qt::AlignCenter,
                   QString("Life chart: %1 packs, %2 runs").arg(packs_).arg(runs_));
  painter.restore();
}

void LifeChartStandIn::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Render(painter, rect());
}

}  // namespace korvane::ui
