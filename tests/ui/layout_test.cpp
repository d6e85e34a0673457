// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCheckBox>
#include <QFontMetrics>
#include <QPushButton>
#include <QRegularExpression>

#include "korvane/model/live_view.h"
#include "korvane/ui/color_check_box.h"
#include "window_fixture.h"

namespace korvane::ui::testing {
namespace {

class LayoutTest : public WindowTest {
 protected:
  void SetUp() override {
    storage.stored.CommPort = 70;
    Open({.NoPromptOnClose = true});
  }
};

TEST_F(LayoutTest, FixedClientAreaCoveredByTheBands) {
  EXPECT_EQ(window->centralWidget()->size(), QSize(785, 537));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
  // Bands cover the client area without a gap.
  int bottom = 0;
  for (TGradientPanel* band : C().Bands) {
    EXPECT_LE(band->y(), bottom);
    bottom = band->geometry().bottom() + 1;
  }
  EXPECT_EQ(bottom, 537);
}

TEST_F(LayoutTest, CheckBoxesCarryTheirSeriesColoursAndBits) {
  const QColor colours[] = {{0xFF, 0x00, 0x00}, {0x00, 0x00, 0xFF}, {0x00, 0x80, 0x00},
                            {0xFF, 0x00, 0xFF}, {0x00, 0x00, 0x80}, {0x80, 0x00, 0x00},
                            {0x00, 0x00, 0x00}, {0x80, 0x80, 0x00}, {0x80, 0x00, 0x80}};
  for (int bit = 0; bit < 9; ++bit) {
    auto* box = dynamic_cast<TColorCheckBox*>(C().ChartCheckBoxes[static_cast<std::size_t>(bit)]);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->Color(), colours[bit]) << bit;
    EXPECT_EQ(box->property("Tag").toInt(), bit);
  }
  EXPECT_EQ(Chart().SeriesCount(), 9);
  EXPECT_EQ(Chart().AxisYScale(), 1000.0f);  // millivolts read as volts
}

// The longest texts each label can get must fit its box, and panel captions must end before
// their values start.
TEST_F(LayoutTest, LongestTextsFitTheirBoxes) {
  model::LiveValues v;
  v.CurrentTime = v.StartTime = "31.12.2026 23:59:59";
  v.OperatingTime = "999 h 59 m 59 s";
  v.OperationMode = "Current mode finished";
  v.OperationStatus = "INT TEMP SENSOR";
  v.CycleNumber = "65535";
  v.InputVoltage = v.OutputVoltage = v.OutputCurrent = v.OutputCapacity = "65.535";
  v.Temperature = "-40.0\u00B0F";
  v.CellVoltage.fill("65.535");
  window->ShowLiveValues(v);
  window->SetCommStatus("ERROR: unable to open COM port", 0xFF);
  C().CommStatus->ShowPort(99);

  for (QLabel* label : window->findChildren<QLabel*>()) {
    if (label->text().isEmpty() || !label->isVisibleTo(window.get())) {
      continue;
    }
    const int advance = QFontMetrics(label->font()).horizontalAdvance(label->text());
    EXPECT_LE(advance, label->contentsRect().width())
        << label->objectName().toStdString() << ": " << label->text().toStdString();
    EXPECT_LE(QFontMetrics(label->font()).height(), label->contentsRect().height() + 3)
        << label->objectName().toStdString();
  }
  for (QLabel* caption :
       C().PanelRealTimeData->findChildren<QLabel*>(QRegularExpression("^LabelLabel"))) {
    EXPECT_LE(caption->geometry().right(), 184) << caption->objectName().toStdString();
  }
}

}  // namespace
}  // namespace korvane::ui::testing
