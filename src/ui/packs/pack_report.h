// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QRect>
#include <functional>
#include <vector>

#include "korvane/record/packs.h"
#include "korvane/record/run.h"

class QPainter;

namespace korvane::ui {

// One pack of a report: its figures and the runs that belong to it, oldest first.
struct PackReportPack {
  record::PackFigures figures;
  std::vector<record::RunSummary> runs;
};

// Draws a pack's life chart into the area given (in the painter's units).
using LifeChartPainter = std::function<void(QPainter&, const QRect&, const PackReportPack&)>;

// The pack report as PDF: a page for each pack with its name and summary, its figures, its life
// chart and the table of its runs (start, channel, kind, end, duration, charged and discharged
// capacity, capacity as a share of the rated one, IR), continued on further pages while it does
// not fit. Each page says the program, the date made and its number. A4, 96 dots per inch.
// `made_ms` is the UTC instant printed as the date made.
QByteArray PackReportPdf(const std::vector<PackReportPack>& packs, const LifeChartPainter& chart,
                         std::int64_t made_ms);

}  // namespace korvane::ui
