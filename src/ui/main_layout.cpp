// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/main_layout.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "korvane/chart/palette.h"
#include "korvane/chart/trend_chart_widget.h"
#include "korvane/ui/color_check_box.h"
#include "korvane/ui/colors.h"
#include "korvane/ui/fit_label.h"
#include "korvane/ui/fonts.h"
#include "korvane/ui/gradient_panel.h"
#include "korvane/ui/status_lamp.h"

namespace korvane::ui {
namespace {

const QColor kDarkGrey(0x56, 0x56, 0x58);
const QColor kPanelColor(0xDC, 0xED, 0xF5);

struct Band {
  int top;
  int height;
  bool dark_first;
};
constexpr std::array<Band, 5> kBands = {
    {{0, 57, false}, {56, 113, true}, {168, 81, false}, {248, 193, true}, {440, 97, false}}};

void SetTextColor(QWidget* widget, const QColor& color) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, color);
  widget->setPalette(palette);
}

QLabel* Caption(QWidget* parent, const char* name, const QString& text, int x, int y, int px,
                const QColor& color) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setFont(UiFont(px, true));
  SetTextColor(label, color);
  label->move(x, y);
  label->adjustSize();
  return label;
}

FitLabel* Value(QWidget* parent, const char* name, QRect place, int px, const QColor& color,
                Qt::Alignment alignment) {
  auto* label = new FitLabel(parent);
  label->setObjectName(name);
  label->setGeometry(place);
  label->SetBaseFont(UiFont(px, true));
  label->setAlignment(alignment);
  SetTextColor(label, color);
  return label;
}

QWidget* Panel(QWidget* parent, const char* name, QRect place) {
  auto* panel = new QWidget(parent);
  panel->setObjectName(name);
  panel->setGeometry(place);
  panel->setAutoFillBackground(true);
  QPalette palette = panel->palette();
  palette.setColor(QPalette::Window, kPanelColor);
  panel->setPalette(palette);
  return panel;
}

// A caption-less check box painted in its chart series' colour, so the boxes form the legend.
// `shown` names the value, as the caption beside the box does without its unit.
QCheckBox* ChartCheckBox(QWidget* parent, int bit, int x, int y, const QString& shown) {
  static constexpr const char* kNames[kChartCheckBoxCount] = {
      "CheckBoxShowInputVoltage", "CheckBoxShowOutputVoltage", "CheckBoxShowCellVoltage1",
      "CheckBoxShowCellVoltage2", "CheckBoxShowCellVoltage3",  "CheckBoxShowCellVoltage4",
      "CheckBoxShowCellVoltage5", "CheckBoxShowCellVoltage6",  "CheckBoxShowCellVoltage7"};
  auto* box = new TColorCheckBox(ToQColor(chart::NormalColor(bit)), parent);
  box->setObjectName(kNames[bit]);
  box->setProperty("Tag", bit);
  box->setGeometry(x, y, 17, 17);
  box->setToolTip(QString("Show %1 in the chart").arg(shown));
  return box;
}

void BuildBands(QWidget* client, MainControls& c) {
  for (std::size_t i = 0; i < kBands.size(); ++i) {
    auto* band = new TGradientPanel(client);
    band->setObjectName(QString("Band%1").arg(i + 1));
    band->setGeometry(0, kBands[i].top, kClientWidth, kBands[i].height);
    band->SetStartColor(kBands[i].dark_first ? kDarkGrey : QColor(Qt::black));
    band->SetEndColor(kBands[i].dark_first ? QColor(Qt::black) : kDarkGrey);
    c.Bands[i] = band;
  }
}

void BuildModeAndTimes(QWidget* client, MainControls& c) {
  c.LabelLabelOperationMode =
      Caption(client, "LabelLabelOperationMode", "Operation Mode", 8, 8, 13, Qt::white);
  c.LabelLabelOperationMode->setGeometry(8, 8, 193, 16);
  c.LabelLabelOperationMode->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

  c.FillModeBox = new TGradientPanel(client);
  c.FillModeBox->setObjectName("FillModeBox");
  c.FillModeBox->setGeometry(8, 32, 193, 65);
  c.FillModeBox->SetStartColor(QColor(0xF2, 0x83, 0x2A));
  c.FillModeBox->SetEndColor(QColor(0xF5, 0x44, 0x1B));
  c.FillModeBox->SetOutline(true);
  c.LabelOperationMode = Value(c.FillModeBox, "LabelOperationMode", QRect(8, 8, 177, 21), 15,
                               Qt::black, Qt::AlignHCenter | Qt::AlignTop);
  c.LabelOperationStatus = Value(c.FillModeBox, "LabelOperationStatus", QRect(8, 32, 177, 25), 21,
                                 Qt::black, Qt::AlignHCenter | Qt::AlignTop);

  c.LabelLabelLastFrameTime =
      Caption(client, "LabelLabelLastFrameTime", "Current Time", 232, 8, 13, Qt::white);
  c.Label1 = Caption(client, "Label1", "Start Time", 232, 32, 13, Qt::white);
  c.Label2 = Caption(client, "Label2", "Operating Time", 232, 56, 13, Qt::white);
  const Qt::Alignment left = Qt::AlignLeft | Qt::AlignTop;
  c.LabelCurrentTime =
      Value(client, "LabelCurrentTime", QRect(352, 8, 169, 16), 13, Qt::white, left);
  c.LabelStartTime = Value(client, "LabelStartTime", QRect(352, 32, 169, 16), 13, Qt::white, left);
  c.LabelOperatingTime =
      Value(client, "LabelOperatingTime", QRect(352, 56, 169, 16), 13, Qt::white, left);

  c.Shape1 = new QFrame(client);
  c.Shape1->setObjectName("Shape1");
  c.Shape1->setGeometry(8, 112, 513, 81);
  c.Shape1->setFrameStyle(QFrame::Box | QFrame::Plain);
  c.Shape1->setLineWidth(1);
  c.Shape1->setAutoFillBackground(true);
  QPalette shape = c.Shape1->palette();
  shape.setColor(QPalette::Window, Qt::white);
  shape.setColor(QPalette::WindowText, Qt::black);
  c.Shape1->setPalette(shape);
}

void BuildValuePanel(QWidget* client, MainControls& c) {
  QWidget* panel = Panel(client, "PanelRealTimeData", QRect(536, 8, 241, 185));
  c.PanelRealTimeData = panel;
  c.LabelRealTimeData = Caption(panel, "LabelRealTimeData", "", 8, 8, 13, Qt::black);
  c.LabelRealTimeData->setGeometry(8, 8, 225, 17);
  c.LabelRealTimeData->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

  struct Row {
    const char* caption_name;
    const char* caption;
    const char* value_name;
    FitLabel* MainControls::*value;
  };
  static constexpr Row kRows[] = {
      {"LabelLabelCycleNumber", "Cycle Number:", "LabelCycleNumber",
       &MainControls::LabelCycleNumber},
      {"LabelLabelInputVoltage", "Input Voltage [V]:", "LabelInputVoltage",
       &MainControls::LabelInputVoltage},
      {"LabelLabelOutputVoltage", "Output Voltage [V]:", "LabelOutputVoltage",
       &MainControls::LabelOutputVoltage},
      {"LabelLabelOutputCurrent", "Output Current [A]:", "LabelOutputCurrent",
       &MainControls::LabelOutputCurrent},
      {"LabelLabelOutputCapacity", "Output Capacity [Ah]:", "LabelOutputCapacity",
       &MainControls::LabelOutputCapacity},
      {"LabelLabelTemperature", "Temperature:", "LabelTemperature",
       &MainControls::LabelTemperature},
  };
  int y = 40;
  for (const Row& row : kRows) {
    Caption(panel, row.caption_name, row.caption, 32, y, 13, Qt::black);
    c.*row.value = Value(panel, row.value_name, QRect(184, y, 241 - 184 - 2, 16), 13, Qt::black,
                         Qt::AlignLeft | Qt::AlignTop);
    y += 24;
  }
  c.ChartCheckBoxes[0] = ChartCheckBox(panel, 0, 8, 64, "Input Voltage");
  c.ChartCheckBoxes[1] = ChartCheckBox(panel, 1, 8, 88, "Output Voltage");
}

void BuildCells(QWidget* client, MainControls& c) {
  for (int n = 1; n <= model::kCellCount; ++n) {
    const int x = 8 + 112 * (n - 1);
    const auto i = static_cast<std::size_t>(n - 1);
    c.ChartCheckBoxes[i + 2] = ChartCheckBox(client, n + 1, x, 204, QString("Cell No.%1").arg(n));
    c.LabelLabelCellVoltage[i] =
        Caption(client, qPrintable(QString("LabelLabelCellVoltage%1").arg(n)),
                QString("Cell No.%1 [V]").arg(n), x + 24, 206, 11, Qt::white);
    c.PanelCellVoltage[i] =
        Panel(client, qPrintable(QString("PanelCellVoltage%1").arg(n)), QRect(x, 224, 97, 41));
    c.LabelCellVoltage[i] =
        Value(c.PanelCellVoltage[i], qPrintable(QString("LabelCellVoltage%1").arg(n)),
              QRect(8, 8, 81, 29), 24, Qt::black, Qt::AlignCenter);
  }
}

void BuildChartAndFooter(QWidget* client, MainControls& c) {
  c.TrendChart = new chart::TTrendChartWidget(client);
  c.TrendChart->setObjectName("TrendChart");
  c.TrendChart->setGeometry(8, 272, 769, 225);
  c.ButtonResetChart = new QPushButton("Reset Chart", c.TrendChart);
  c.ButtonResetChart->setObjectName("ButtonResetChart");
  c.ButtonResetChart->setGeometry(656, 192, 91, 25);
  c.ButtonResetChart->setFont(UiFont(11));

  c.LabelCopyright =
      Caption(client, "LabelCopyright", "Copyright \u00A9 2026 Korvane", 8, 508, 11, Qt::white);
  c.LabelCopyright->setGeometry(8, 508, 233, 21);
  c.LabelCopyright->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  c.CommStatus = new StatusLamp(client);
}

}  // namespace

MainControls BuildMainLayout(QWidget* client) {
  MainControls c;
  client->setFixedSize(kClientWidth, kClientHeight);
  client->setFont(UiFont(11));
  client->setAutoFillBackground(true);
  QPalette palette = client->palette();
  palette.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
  client->setPalette(palette);
  BuildBands(client, c);
  BuildModeAndTimes(client, c);
  BuildValuePanel(client, c);
  BuildCells(client, c);
  BuildChartAndFooter(client, c);
  return c;
}

}  // namespace korvane::ui
