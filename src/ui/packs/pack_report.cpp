// SPDX-License-Identifier: GPL-3.0-or-later
#include "packs/pack_report.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <array>
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

// The runs table: titles and relative widths.
struct RunField {
  const char* title;
  int width;
  bool right;
};
constexpr std::array<RunField, 9> kRunFields = {{{"Start", 17, false},
                                                 {"Ch", 4, true},
                                                 {"Kind", 9, false},
                                                 {"End", 20, false},
                                                 {"Duration", 12, true},
                                                 {"Charged [mAh]", 10, true},
                                                 {"Discharged [mAh]", 11, true},
                                                 {"Capacity [%]", 9, true},
                                                 {"IR [mOhm]", 8, true}}};

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

QString MahText(std::uint16_t mah) {
  return mah == 0 ? QString() : QString::number(mah);
}

std::array<QString, kRunFields.size()> RunRow(const record::RunSummary& run, int rated_mah) {
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
    const std::string weak = WeakReason(f);
    const auto cell = [&](PackColumn column) { return Text(PackCellText(f, column)); };
    const std::array<std::pair<QString, QString>, 8> figures = {{
        {"Runs", cell(PackColumn::kRuns)},
        {"Cycles (finished discharges)", cell(PackColumn::kCycles)},
        {"Last used", cell(PackColumn::kLastUsed)},
        {"Last capacity", f.last_capacity_mah ? cell(PackColumn::kLastCapacity) + " mAh" : ""},
        {"Health", f.health_percent ? cell(PackColumn::kHealth) + " %" : ""},
        {"IR, latest estimate", f.ir_mohm ? cell(PackColumn::kIr) + " mOhm" : ""},
        {"IR, first estimate",
         f.first_ir_mohm ? Text(FixedText(*f.first_ir_mohm, 1)) + " mOhm" : ""},
        {"Condition", weak.empty() ? "Good" : Text(weak).replace('\n', "; ")},
    }};
    SetFont(9.5);
    const int half = page_.width() / 2;
    const int label = half * 45 / 100;
    const int top = y_;
    for (std::size_t i = 0; i < figures.size(); ++i) {
      const int x = page_.left() + (i < 4 ? 0 : half);
      const int y = top + static_cast<int>(i % 4) * LineHeight();
      painter_.drawText(QRect(x, y, label, LineHeight()), Qt::AlignLeft | Qt::AlignVCenter,
                        figures[i].first + ":");
      const QString value = figures[i].second.isEmpty() ? "-" : figures[i].second;
      painter_.drawText(QRect(x + label, y, half - label, LineHeight()),
                        Qt::AlignLeft | Qt::AlignVCenter,
                        painter_.fontMetrics().elidedText(value, Qt::ElideRight, half - label - 4));
    }
    y_ = top + 4 * LineHeight();
  }

  void RunsHeader(const QString& title) {
    SetFont(11, true);
    Line(title);
    SetFont(7.5, true);
    Row(Titles());
    painter_.drawLine(page_.left(), y_, page_.right(), y_);
    SetFont(7.5);
  }

  static std::array<QString, kRunFields.size()> Titles() {
    std::array<QString, kRunFields.size()> titles;
    for (std::size_t i = 0; i < kRunFields.size(); ++i) {
      titles[i] = kRunFields[i].title;
    }
    return titles;
  }

  void Row(const std::array<QString, kRunFields.size()>& cells) {
    int total = 0;
    for (const RunField& field : kRunFields) {
      total += field.width;
    }
    int x = page_.left();
    for (std::size_t i = 0; i < kRunFields.size(); ++i) {
      const int width = page_.width() * kRunFields[i].width / total;
      const QRect box(x + 2, y_, width - 4, LineHeight());
      painter_.drawText(box,
                        (kRunFields[i].right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter,
                        painter_.fontMetrics().elidedText(cells[i], Qt::ElideRight, box.width()));
      x += width;
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
    RunsHeader(QString("Runs (%1)").arg(pack.runs.size()));
    for (const record::RunSummary& run : pack.runs) {
      if (y_ + LineHeight() > Bottom()) {
        NewPage();
        RunsHeader(QString("%1: runs, continued").arg(name));
      }
      Row(RunRow(run, pack.figures.pack.rated_mah));
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
