// SPDX-License-Identifier: GPL-3.0-or-later
#include "packs/pack_report.h"

#include <QBuffer>
#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "korvane/ui/version.h"
#include "packs/pack_texts.h"
#include "runs/run_texts.h"

namespace korvane::ui {
namespace {

constexpr int kDotsPerInch = 96;
constexpr double kMarginMm = 15.0;
constexpr int kChartPercentOfPage = 36;

// The runs table's columns; the end text takes what the others leave.
struct RunField {
  const char* title;
  const char* unit;  // on a second header line
  bool right;
};
constexpr std::array<RunField, 9> kRunFields = {{{"Start", "", false},
                                                 {"Ch", "", true},
                                                 {"Kind", "", false},
                                                 {"End", "", false},
                                                 {"Duration", "", true},
                                                 {"Charged", "[mAh]", true},
                                                 {"Discharged", "[mAh]", true},
                                                 {"Capacity", "[% rated]", true},
                                                 {"IR", "[mOhm]", true}}};
constexpr std::size_t kEndField = 3;
constexpr int kCellPadding = 4;
using RunCells = std::array<QString, kRunFields.size()>;

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

QString MahText(std::uint16_t mah) {
  return mah == 0 ? QString() : QString::number(mah);
}

RunCells RunRow(const record::RunSummary& run, int rated_mah) {
  std::optional<int> moved = record::DeliveredCapacity(run);
  if (!moved) {
    moved = record::ChargedCapacity(run);
  }
  return {Text(LocalDateTimeText(run.start_ms)),
          QString::number(run.channel),
          Text(RunKindText(run.kind)),
          Text(run.end_text),
          Text(RunCellText(run, RunColumn::kDuration)),
          MahText(run.charged_mah),
          MahText(run.discharged_mah),
          moved && rated_mah > 0 ? Text(FixedText(*moved * 100.0 / rated_mah, 1)) : QString(),
          run.ir_mohm ? Text(FixedText(*run.ir_mohm, 1)) : QString()};
}

// Lays out the pages one after another on one painter.
class ReportWriter {
 public:
  ReportWriter(QPdfWriter& writer, const LifeChartPainter& chart, std::int64_t made_ms)
      : writer_(writer), chart_(chart), made_(Text(LocalDateTimeText(made_ms))) {}

  void Write(const std::vector<PackReportPack>& packs) {
    if (!painter_.begin(&writer_)) {
      throw std::runtime_error("the PDF cannot be made");
    }
    page_ = writer_.pageLayout().paintRectPixels(writer_.resolution());
    page_.moveTo(0, 0);
    for (std::size_t i = 0; i < packs.size(); ++i) {
      if (i > 0) {
        NewPage();
      }
      WritePack(packs[i]);
    }
    if (packs.empty()) {
      Footer();
    }
    painter_.end();
  }

 private:
  void SetFont(double points, bool bold = false) {
    QFont font("Sans Serif");
    font.setPointSizeF(points);
    font.setBold(bold);
    painter_.setFont(font);
  }

  int LineHeight() const { return painter_.fontMetrics().lineSpacing(); }

  // One line of text at y, which then moves below it.
  void Line(const QString& text) {
    painter_.drawText(QRect(page_.left(), y_, page_.width(), LineHeight()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      painter_.fontMetrics().elidedText(text, Qt::ElideRight, page_.width()));
    y_ += LineHeight();
  }

  void Footer() {
    SetFont(7.5);
    const QRect foot(page_.left(), page_.bottom() - LineHeight(), page_.width(), LineHeight());
    painter_.drawText(foot, Qt::AlignLeft | Qt::AlignVCenter,
                      QString("%1 pack report, %2").arg(kApplicationTitle, made_));
    painter_.drawText(foot, Qt::AlignRight | Qt::AlignVCenter, QString("Page %1").arg(page_no_));
  }

  void NewPage() {
    Footer();
    writer_.newPage();
    ++page_no_;
    y_ = page_.top();
  }

  int Bottom() {
    SetFont(7.5);
    const int footer = LineHeight() * 2;
    return page_.bottom() - footer;
  }

  void WritePack(const PackReportPack& pack) {
    const record::PackFigures& f = pack.figures;
    y_ = page_.top();
    SetFont(16, true);
    Line(Text(f.pack.name) + (f.pack.retired ? "  (retired)" : ""));
    SetFont(10);
    Line(Text(PackSummaryText(f.pack)));
    if (!f.pack.note.empty()) {
      SetFont(9);
      const QRect bounds = painter_.boundingRect(QRect(page_.left(), y_, page_.width(), 0),
                                                 Qt::TextWordWrap, Text(f.pack.note));
      painter_.drawText(bounds, Qt::TextWordWrap, Text(f.pack.note));
      y_ += bounds.height();
    }
    y_ += LineHeight() / 2;
    Figures(f);
    y_ += LineHeight();
    const int chart_height = page_.height() * kChartPercentOfPage / 100;
    painter_.save();
    chart_(painter_, QRect(page_.left(), y_, page_.width(), chart_height), pack);
    painter_.restore();
    y_ += chart_height + LineHeight();
    Runs(pack);
  }

  void Figures(const record::PackFigures& f) {
    const auto cell = [&](PackColumn column) { return Text(PackCellText(f, column)); };
    const std::array<std::pair<QString, QString>, 7> figures = {{
        {"Runs", cell(PackColumn::kRuns)},
        {"Health", f.health_percent ? cell(PackColumn::kHealth) + " %" : ""},
        {"Cycles", cell(PackColumn::kCycles)},
        {"IR, latest", f.ir_mohm ? cell(PackColumn::kIr) + " mOhm" : ""},
        {"Last used", cell(PackColumn::kLastUsed)},
        {"IR, first", f.first_ir_mohm ? Text(FixedText(*f.first_ir_mohm, 1)) + " mOhm" : ""},
        {"Last capacity", f.last_capacity_mah ? cell(PackColumn::kLastCapacity) + " mAh" : ""},
    }};
    SetFont(9.5);
    int label = 0;
    for (const auto& [name, value] : figures) {
      label = std::max(label, painter_.fontMetrics().horizontalAdvance(name + ":  "));
    }
    const int half = page_.width() / 2;
    const auto pair = [&](int x, const QString& name, const QString& value) {
      painter_.drawText(QRect(x, y_, label, LineHeight()), Qt::AlignLeft | Qt::AlignVCenter,
                        name + ":");
      const QRect box(x + label, y_, page_.right() - x - label, LineHeight());
      painter_.drawText(box, Qt::AlignLeft | Qt::AlignVCenter,
                        painter_.fontMetrics().elidedText(value.isEmpty() ? "-" : value,
                                                          Qt::ElideRight, box.width()));
    };
    for (std::size_t i = 0; i < figures.size(); ++i) {
      pair(page_.left() + (i % 2 == 0 ? 0 : half), figures[i].first, figures[i].second);
      y_ += i % 2 == 0 && i + 1 < figures.size() ? 0 : LineHeight();
    }
    const std::string weak = WeakReason(f);
    pair(page_.left(), "Condition",
         weak.empty() ? QString("Good") : "Weak: " + Text(weak).replace('\n', "; "));
    y_ += LineHeight();
  }

  void RunsHeader(const QString& title) {
    SetFont(11, true);
    Line(title);
    SetFont(7.5, true);
    RunCells titles;
    RunCells units;
    for (std::size_t i = 0; i < kRunFields.size(); ++i) {
      titles[i] = kRunFields[i].title;
      units[i] = kRunFields[i].unit;
    }
    Row(titles, false);
    Row(units, false);
    painter_.drawLine(page_.left(), y_, page_.right(), y_);
    SetFont(7.5);
    band_ = false;
  }

  // Each column as wide as its widest cell; the end text gets the rest.
  void MeasureColumns(const std::vector<RunCells>& rows) {
    // Rounded up and a pixel more: eliding measures fractional advances.
    const auto width = [&](const QString& text) {
      return static_cast<int>(std::ceil(
                 QFontMetricsF(painter_.font(), painter_.device()).horizontalAdvance(text))) +
             1;
    };
    SetFont(7.5, true);
    for (std::size_t i = 0; i < kRunFields.size(); ++i) {
      widths_[i] = std::max(width(kRunFields[i].title), width(kRunFields[i].unit));
    }
    SetFont(7.5);
    for (const RunCells& cells : rows) {
      for (std::size_t i = 0; i < kRunFields.size(); ++i) {
        widths_[i] = std::max(widths_[i], width(cells[i]));
      }
    }
    int others = 0;
    for (std::size_t i = 0; i < kRunFields.size(); ++i) {
      widths_[i] += 2 * kCellPadding;
      others += i == kEndField ? 0 : widths_[i];
    }
    widths_[kEndField] = std::max(page_.width() - others, 4 * kCellPadding);
  }

  // Every other row of runs on a light band, so a printed line is easy to follow.
  void Row(const RunCells& cells, bool banded = true) {
    if (banded && band_) {
      painter_.fillRect(QRect(page_.left(), y_, page_.width(), LineHeight()),
                        QColor(238, 238, 238));
    }
    band_ = !band_;
    int x = page_.left();
    for (std::size_t i = 0; i < kRunFields.size(); ++i) {
      const QRect box(x + kCellPadding, y_, widths_[i] - 2 * kCellPadding, LineHeight());
      painter_.drawText(box,
                        (kRunFields[i].right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter,
                        painter_.fontMetrics().elidedText(cells[i], Qt::ElideRight, box.width()));
      x += widths_[i];
    }
    y_ += LineHeight();
  }

  void Runs(const PackReportPack& pack) {
    const QString name = Text(pack.figures.pack.name);
    if (pack.runs.empty()) {
      SetFont(9.5);
      Line("No runs belong to this pack yet.");
      Footer();
      return;
    }
    std::vector<RunCells> rows;
    rows.reserve(pack.runs.size());
    for (const record::RunSummary& run : pack.runs) {
      rows.push_back(RunRow(run, pack.figures.pack.rated_mah));
    }
    MeasureColumns(rows);
    RunsHeader(QString("Runs (%1)").arg(pack.runs.size()));
    for (const RunCells& cells : rows) {
      if (y_ + LineHeight() > Bottom()) {
        NewPage();
        RunsHeader(QString("%1: runs, continued").arg(name));
      }
      Row(cells);
    }
    Footer();
  }

  QPdfWriter& writer_;
  const LifeChartPainter& chart_;
  const QString made_;
  QPainter painter_;
  QRect page_;
  int y_ = 0;
  int page_no_ = 1;
  std::array<int, kRunFields.size()> widths_{};
  bool band_ = false;
};

}  // namespace

QByteArray PackReportPdf(const std::vector<PackReportPack>& packs, const LifeChartPainter& chart,
                         std::int64_t made_ms) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&buffer);
    writer.setCreator(kApplicationTitle);
    writer.setTitle(packs.size() == 1
                        ? QString("Pack report: %1").arg(Text(packs.front().figures.pack.name))
                        : QString("Pack report"));
    writer.setResolution(kDotsPerInch);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                                     QPageLayout::Millimeter));
    ReportWriter(writer, chart, made_ms).Write(packs);
  }
  return bytes;
}

}  // namespace korvane::ui
