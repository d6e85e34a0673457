// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/window_recording.h"

#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "korvane/model/hardware_data.h"
#include "korvane/record/recorder.h"
#include "korvane/ui/debug_trace.h"
#include "korvane/ui/prompter.h"
#include "korvane/ui/recording_indicator.h"
#include "korvane/ui/version.h"
#include "korvane/ui/window_publishing.h"
#include "notify/run_notifier.h"

namespace korvane::ui {
namespace {

// Any thread: stdio writes one call's text whole.
void ErrorLine(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace

WindowRecording::WindowRecording(QWidget* client, Prompter& prompter, model::THardwareData& data,
                                 const RecordingSettings& settings, bool demo, DebugTrace* trace,
                                 RunNotifier* notifier, const publish::BrokerChoice& mqtt)
    : QObject(client),
      client_(client),
      prompter_(prompter),
      data_(data),
      trace_(trace),
      notifier_(notifier) {
  if (notifier_) {
    notifier_->setParent(this);
  }
  if (!settings.Enabled) {
    try {
      store_path_ = settings.File.empty() ? record::DefaultStorePath() : settings.File;
    } catch (const record::StoreError&) {
      // No home folder: there is no store to show.
    }
    if (!mqtt.address.empty()) {
      ErrorLine("mqtt: not publishing: the recording is off");
    }
    return;
  }
  record::Recorder::Options options;
  if (demo) {
    demo_store_ = std::make_unique<QTemporaryDir>();
    options.path = demo_store_->filePath("recordings.sqlite").toStdString();
  } else {
    options.path = settings.File.empty() ? record::DefaultStorePath() : settings.File;
  }
  store_path_ = options.path;
  options.on_event = [this](const record::RecorderEvent& event) {
    // The writer thread. This object outlives the recorder, which is stopped before it goes.
    QMetaObject::invokeMethod(
        this, [this, event] { OnEvent(event); }, Qt::QueuedConnection);
  };
  recorder_ = std::make_unique<record::Recorder>(std::move(options));
  data_.SetRecordSink(recorder_.get());
  publishing_ = std::make_unique<WindowPublishing>(mqtt, store_path_, demo, ErrorLine);
  indicator_ = new RecordingIndicator(client);
  indicator_->show();
  Refresh();
  auto* refresh = new QTimer(this);
  connect(refresh, &QTimer::timeout, this, &WindowRecording::Refresh);
  refresh->start(1000);
}

WindowRecording::~WindowRecording() {
  Stop();
}

void WindowRecording::Stop() {
  if (recorder_ && !stopped_) {
    stopped_ = true;
    recorder_->Stop();
    data_.SetRecordSink(nullptr);
    publishing_->Stop();
    Refresh();
  }
}

void WindowRecording::Refresh() {
  if (recorder_ && indicator_) {
    indicator_->SetPublishing(QString::fromStdString(publishing_->Describe()));
    indicator_->ShowStatus(recorder_->Status());
  }
}

void WindowRecording::OnEvent(const record::RecorderEvent& event) {
  using Kind = record::RecorderEvent::Kind;
  std::string line = "recording: ";
  bool always = false;  // on stderr with or without DEBUG
  switch (event.kind) {
    case Kind::kRunBegan:
      line += "run " + std::to_string(event.run.id) + " began on channel " +
              std::to_string(event.run.channel);
      break;
    case Kind::kRunEnded:
      line += "run " + std::to_string(event.run.id) + " ended: " + event.run.end_text;
      if (notifier_) {
        notifier_->RunEnded(event.run);
      }
      break;
    case Kind::kPaused:
      line += "paused: " + event.text;
      break;
    case Kind::kResumed:
      line += "resumed";
      break;
    case Kind::kMovedAside:
      line += "damaged file moved aside to " + event.text;
      if (indicator_) {
        indicator_->NoteMovedAside(QString::fromStdString(event.text));
      }
      if (!told_moved_aside_) {
        told_moved_aside_ = true;
        prompter_.Tell(client_, kApplicationTitle,
                       QString("The recordings file was damaged. It was moved aside "
                               "to %1 and a new one was started.")
                           .arg(QString::fromStdString(event.text)));
      }
      break;
    case Kind::kRunClosed:
      // Not a run that ended now: nothing to notify.
      line = record::ClosedRunLine(event.run);
      always = true;
      break;
    case Kind::kDamaged:
      line = record::DamagedLine(store_path_, event.text);
      always = true;
      if (indicator_) {
        indicator_->NoteDamaged(QString::fromStdString(event.text));
      }
      if (!told_damaged_) {
        told_damaged_ = true;
        prompter_.Tell(
            client_, kApplicationTitle,
            QString("The recordings file %1 is damaged (%2). Recording goes on in it; "
                    "\"korvane-log check\" and \"korvane-log salvage\" can tell more and "
                    "rescue what is readable.")
                .arg(QString::fromStdString(store_path_), QString::fromStdString(event.text)));
      }
      break;
  }
  if (always) {
    ErrorLine(line);
  } else if (trace_) {
    trace_->Line(line);
  }
  Refresh();
}

}  // namespace korvane::ui
