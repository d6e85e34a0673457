// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <vector>

#include "korvane/record/packs.h"
#include "korvane/record/run.h"

class QPainter;

namespace korvane::ui {

// STAND-IN until PackLifeChart (packs/pack_life_chart.h) lands: the same interface, drawing only
// a frame and the number of packs. Replaced by PackLifeChart on the next merge.
class LifeChartStandIn final : public QWidget {
  Q_OBJECT

 public:
  explicit LifeChartStandIn(QWidget* parent = nullptr);
  void SetPacks(const std::vector<record::PackFigures>& packs,
                const std::vector<record::RunSummary>& runs);
  void Render(QPainter& painter, const QRect& area);

 signals:
  void RunActivated(qint64 run_id);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int packs_ = 0;
  int runs_ = 0;
};

}  // namespace korvane::ui
