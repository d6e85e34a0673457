// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/recording_indicator.h"

#include "korvane/ui/fonts.h"

namespace korvane::ui {

RecordingIndicator::RecordingIndicator(QWidget* client) : QLabel(client) {
  setObjectName("RecordingIndicator");
  // Left of the right-aligned caption's text, clear of the copyright notice.
  setGeometry(250, 508, 48, 21);
  setFont(UiFont(11, true));
  setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setTextFormat(Qt::RichText);
  ShowStatus({});
}

void RecordingIndicator::ShowStatus(const record::RecorderStatus& status) {
  writing_ = status.writing;
  const char* dot = writing_ ? "#FF3B30" : "#9A9A9A";
  const char* word = writing_ ? "#FFFFFF" : "#9A9A9A";
  setText(QString("<span style='color:%1'>&#9679;</span> <span style='color:%2'>REC</span>")
              .arg(dot, word));

  QString tip =
      writing_ ? QString("Recording every frame to %1") : QString("Recording paused: %1\nFile: %2");
  if (writing_) {
    tip = tip.arg(QString::fromStdString(status.file));
  } else {
    tip = tip.arg(QString::fromStdString(status.paused_reason.empty() ? "not started yet"
                                                                      : status.paused_reason),
                  QString::fromStdString(status.file));
  }
  tip += QString("\n%1 frames recorded").arg(status.frames_recorded);
  if (status.frames_lost > 0) {
    tip += QString("\n%1 frames could not be recorded (paused too long)").arg(status.frames_lost);
  }
  if (!damaged_.isEmpty()) {
    tip += QString("\nThe recordings file is damaged (%1); recording goes on").arg(damaged_);
  }
  if (!moved_aside_.isEmpty()) {
    tip += QString("\nA damaged recordings file was moved aside to %1").arg(moved_aside_);
  }
  if (!publishing_.isEmpty()) {
    tip += "\n" + publishing_;
  }
  setToolTip(tip);
}

void RecordingIndicator::NoteMovedAside(const QString& moved_to) {
  moved_aside_ = moved_to;
}

}  // namespace korvane::ui
