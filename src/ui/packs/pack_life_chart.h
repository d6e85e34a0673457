// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <vector>

#include "korvane/record/packs.h"
#include "korvane/record/run.h"

class QPainter;

namespace korvane::chart {
class ReviewPlotWidget;
}

namespace korvane::ui {

// The life chart of the selected packs (see PackLifeTraces): capacity of each finished run and
// the resistance estimates against the date, the rated capacity as a line, several packs
// overlaid. Zoom, pan and the hover read-out work as in the Runs plot; a double click on a point
// emits RunActivated, elsewhere it shows the whole span again. UI thread only.
class PackLifeChart : public QWidget {
  Q_OBJECT

 public:
  explicit PackLifeChart(QWidget* parent = nullptr);

  // One entry per selected pack and their runs (any order; only finished runs with a capacity
  // give a capacity point).
  void SetPacks(const std::vector<record::PackFigures>& packs,
                const std::vector<record::RunSummary>& runs);

  // Draws the chart with its present view into `area` of `painter` (the PDF report), without
  // the read-out.
  void Render(QPainter& painter, const QRect& area);

 signals:
  void RunActivated(qint64 run_id);

 private:
  chart::ReviewPlotWidget* plot_;
};

}  // namespace korvane::ui
