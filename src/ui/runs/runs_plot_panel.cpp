// SPDX-License-Identifier: GPL-3.0-or-later
#include "runs/runs_plot_panel.h"

#include "korvane/chart/review_plot_widget.h"

#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QSvgGenerator>
#include <QVBoxLayout>
#include <stdexcept>

#include "korvane/ui/colors.h"
#include "runs/review_frames.h"

namespace korvane::ui {
namespace {

constexpr int kSwatchWidth = 12;

// A short thick line in the series' colour, so that the boxes read as the plot's key.
QIcon SwatchIcon(chart::ReviewSeries series) {
  QPixmap pixmap(kSwatchWidth, kSwatchWidth);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.fillRect(QRect(0, kSwatchWidth / 2 - 2, kSwatchWidth, 4),
                   ToQColor(chart::ReviewSeriesColor(series)));
  return QIcon(pixmap);
}

}  // namespace

RunsPlotPanel::RunsPlotPanel(QWidget* parent)
    : QWidget(parent), plot_(new chart::ReviewPlotWidget(this)) {
  plot_->setObjectName("RunsPlot");
  plot_->setMinimumSize(200, 120);
  plot_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  // The cells in a row of their own below the other values, as their panes stack.
  auto* values = new QHBoxLayout;
  auto* cells = new QHBoxLayout;
  for (int i = 0; i < chart::kReviewSeriesCount; ++i) {
    const auto series = static_cast<chart::ReviewSeries>(i);
    auto* box = new QCheckBox(QString::fromUtf8(chart::ReviewSeriesName(series)), this);
    box->setObjectName(QString("RunsSeries%1").arg(i));
    box->setIcon(SwatchIcon(series));
    box->setIconSize(QSize(kSwatchWidth, kSwatchWidth));
    (chart::UnitOf(series) == chart::ReviewUnit::kCellVoltage ? cells : values)->addWidget(box);
    boxes_[static_cast<std::size_t>(i)] = box;
    connect(box, &QCheckBox::toggled, this, [this] {
      plot_->SetShown(Shown());
      emit shownChanged();
    });
  }
  values->addStretch();
  cells->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 0, 6, 6);
  layout->addWidget(plot_, 1);
  layout->addLayout(values);
  layout->addLayout(cells);
}

QCheckBox* RunsPlotPanel::SeriesBox(chart::ReviewSeries series) const {
  return boxes_[static_cast<std::size_t>(series)];
}

void RunsPlotPanel::SetShown(chart::ReviewSeriesMask mask) {
  for (int i = 0; i < chart::kReviewSeriesCount; ++i) {
    const QSignalBlocker quiet(boxes_[static_cast<std::size_t>(i)]);
    boxes_[static_cast<std::size_t>(i)]->setChecked((mask >> i & 1u) != 0);
  }
  plot_->SetShown(Shown());
  emit shownChanged();
}

chart::ReviewSeriesMask RunsPlotPanel::Shown() const {
  chart::ReviewSeriesMask mask = 0;
  for (int i = 0; i < chart::kReviewSeriesCount; ++i) {
    if (boxes_[static_cast<std::size_t>(i)]->isChecked()) {
      mask |= chart::ReviewSeriesMask{1} << i;
    }
  }
  return mask;
}

void RunsPlotPanel::ShowRuns(std::vector<chart::ReviewRun> runs, int temperature_unit,
                             bool other_runs) {
  plot_->Plot().SetStyle(RunsPlotStyle(temperature_unit));
  if (other_runs) {
    plot_->SetRuns(std::move(runs));
  } else {
    plot_->UpdateRuns(std::move(runs));
  }
}

QByteArray RunsPlotPanel::PngBytes() const {
  const QImage image = plot_->RenderImage(plot_->size());
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) {
    throw std::runtime_error("the image could not be encoded as PNG");
  }
  return bytes;
}

QByteArray RunsPlotPanel::SvgBytes() const {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QSvgGenerator svg;
  svg.setOutputDevice(&buffer);
  svg.setSize(plot_->size());
  svg.setViewBox(QRect(QPoint(0, 0), plot_->size()));
  svg.setTitle("Recorded runs");
  QPainter painter;
  if (!painter.begin(&svg)) {
    throw std::runtime_error("the plot could not be drawn as SVG");
  }
  plot_->Render(painter, plot_->size());
  painter.end();
  return bytes;
}

void RunsPlotPanel::CopyToClipboard() const {
  QGuiApplication::clipboard()->setImage(plot_->RenderImage(plot_->size()));
}

}  // namespace korvane::ui
