// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/about_dialog.h"

#include <QLabel>
#include <QPushButton>

#include "korvane/ui/fonts.h"
#include "korvane/ui/screen_fit.h"

namespace korvane::ui {
namespace {

QLabel* TextLabel(QWidget* parent, const char* name, const QString& text, const QFont& font,
                  const QColor& color, QRect place) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setFont(font);
  label->setGeometry(place);
  label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, color);
  label->setPalette(palette);
  return label;
}

}  // namespace

TFormAbout::TFormAbout(const ProgramVersion& version, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                         Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName("FormAbout");
  setWindowTitle("About " + QString(kApplicationTitle));
  setFont(UiFont(13));
  setFixedSize(320, 170);

  const QFont title_font = UiFont(26, true);
  const QRect title_place(10, 16, 300, 36);
  // The shadow first, so the title is drawn over it.
  TextLabel(this, "LabelProductShadow", kApplicationTitle, title_font, QColor(0xA0, 0xA0, 0xA0),
            title_place.translated(2, 1));
  TextLabel(this, "LabelProduct", kApplicationTitle, title_font, QColor(0x10, 0x30, 0x80),
            title_place);
  TextLabel(this, "LabelVersion", VersionText(version), UiFont(13, true), Qt::black,
            QRect(10, 62, 300, 18));
  TextLabel(this, "LabelNotice", "Copyright \u00A9 2026 Korvane", UiFont(11), Qt::black,
            QRect(10, 86, 300, 16));

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("ButtonOK");
  ok->setGeometry(115, 126, 91, 25);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  FitDialogOnScreen(*this);
}

}  // namespace korvane::ui
