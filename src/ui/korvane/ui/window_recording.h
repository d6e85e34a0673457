// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <string>

#include "korvane/publish/options.h"
#include "korvane/ui/app_services.h"

class QTemporaryDir;
class QWidget;

namespace korvane::model {
class THardwareData;
}
namespace korvane::record {
class Recorder;
struct RecorderEvent;
}  // namespace korvane::record

namespace korvane::ui {

class DebugTrace;
class Prompter;
class RecordingIndicator;
class RunNotifier;
class WindowPublishing;

// The main window's recording: the recorder fed by the model, the "REC" indicator beside the
// communication-status caption, and what the recorder reports (on stderr with DEBUG; a damaged
// file moved aside, or damage found in the file, is told once through the prompter; a run left open
// by a crash and closed is said on stderr; a run that ends goes to the notifier). In demo mode it
// records into a temporary store removed at exit, so the user's own store never holds simulated
// frames. With a broker named, what is recorded is also published to it, and the indicator's
// tooltip tells how that goes.
class WindowRecording : public QObject {
  Q_OBJECT

 public:
  // Nothing is recorded when `settings.Enabled` is false. `trace` may be null; `prompter` tells
  // what must be told and outlives the recording. The recording takes `notifier` (may be null)
  // as its child; demo runs are told too, as the user's own.
  // Publishing to `mqtt` needs the recording; its lines go to stderr.
  WindowRecording(QWidget* client, Prompter& prompter, model::THardwareData& data,
                  const RecordingSettings& settings, bool demo, DebugTrace* trace,
                  RunNotifier* notifier = nullptr, const publish::BrokerChoice& mqtt = {});
  ~WindowRecording() override;

  // Acquisition must have stopped: writes what is queued, ends the open runs and
  // publishes that.
  // Idempotent; the model is not touched after the first call (it may be gone by the second).
  void Stop();

  // The store this window records into (the demo's temporary one in demo mode) or, with the
  // recording off, the one it would record into; empty when there is none (no home folder).
  const std::string& StorePath() const { return store_path_; }
  record::Recorder* Recorder() const { return recorder_.get(); }
  RecordingIndicator* Indicator() const { return indicator_; }
  RunNotifier* Notifier() const { return notifier_; }
  WindowPublishing* Publishing() const { return publishing_.get(); }

 private:
  void Refresh();
  void OnEvent(const record::RecorderEvent& event);
  QWidget* client_;
  Prompter& prompter_;
  model::THardwareData& data_;
  DebugTrace* trace_;
  std::string store_path_;
  std::unique_ptr<QTemporaryDir> demo_store_;
  std::unique_ptr<record::Recorder> recorder_;
  std::unique_ptr<WindowPublishing> publishing_;
  RecordingIndicator* indicator_ = nullptr;
  RunNotifier* notifier_;
  bool told_moved_aside_ = false;
  bool told_damaged_ = false;
  bool stopped_ = false;
};

}  // namespace korvane::ui
