// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>
#include <QString>

#include "korvane/record/recorder.h"

namespace korvane::ui {

// A small "REC" mark in the empty left part of the communication-status caption: a red dot while
// every frame is written to the recordings file, a grey one while the recording is paused. Its
// tooltip gives the file, the frames recorded and lost, why it is paused, damage found in the
// file and how publishing goes.
class RecordingIndicator : public QLabel {
  Q_OBJECT

 public:
  explicit RecordingIndicator(QWidget* client);

  void ShowStatus(const record::RecorderStatus& status);
  // Said in the tooltip from now on: a damaged file was moved aside to `moved_to`.
  void NoteMovedAside(const QString& moved_to);
  // Said in the tooltip from now on: the file's check found `finding`.
  void NoteDamaged(const QString& finding) { damaged_ = finding; }
  // Ends the tooltip from the next ShowStatus on; empty: nothing.
  void SetPublishing(const QString& text) { publishing_ = text; }

  bool Writing() const { return writing_; }

 private:
  bool writing_ = false;
  QString moved_aside_;
  QString damaged_;
  QString publishing_;
};

}  // namespace korvane::ui
