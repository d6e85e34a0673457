// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/logger/record_command.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <utility>

#include "korvane/link/hardware_thread.h"
#include "korvane/link/ui_dispatcher.h"
#include "korvane/logger/pack_commands.h"
#include "korvane/logger/run_table.h"
#include "korvane/logger/signal_watcher.h"
#include "korvane/model/date_time.h"
#include "korvane/model/decoder.h"
#include "korvane/model/export_file.h"
#include "korvane/model/telemetry_sink.h"
#include "korvane/model/vocabulary.h"
#include "korvane/publish/publisher.h"
#include "korvane/record/recorder.h"
#include "korvane/web/live_slot.h"
#include "korvane/web/server.h"

namespace korvane::logger {
namespace {

// Whole lines on standard error from any thread.
class LineLog {
 public:
  void Line(const std::string& text) {
    std::lock_guard guard(mutex_);
    WriteAll(STDERR_FILENO, text + "\n");
  }

  // False with errno set when the descriptor refuses the bytes.
  static bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::write(fd, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n <= 0) {
        return false;
      }
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

 private:
  std::mutex mutex_;
};

// Called on this (the main) thread through the link's hand-offs.
class StatusLines final : public link::CommStatusView {
 public:
  StatusLines(LineLog& log, web::LiveSlot* live) : log_(log), live_(live) {}
  void SetCommStatus(const std::string& text, TColor) override {
    log_.Line("status: " + text);
    link_ = {text, ""};
    if (live_ != nullptr) {
      live_->PutLink(link_);
    }
  }
  void SetCommDetail(const std::string& reason) override {
    if (!reason.empty()) {
      log_.Line("status: " + reason);
    }
    link_.detail = reason;
    if (live_ != nullptr) {
      live_->PutLink(link_);
    }
  }

 private:
  LineLog& log_;
  web::LiveSlot* live_;
  web::LinkState link_;
};

// The decode side of the link: each record goes to the recorder with its instant, with --http
// to the web page's live slot (which never makes it wait), and with --tsv to standard output as
// an export line. Nothing to refresh without a window.
class Receiver final : public model::TelemetrySink {
 public:
  Receiver(record::Recorder& recorder, web::LiveSlot* live, bool tsv,
           std::function<void()> on_output_failed)
      : recorder_(recorder),
        live_(live),
        tsv_(tsv),
        on_output_failed_(std::move(on_output_failed)) {}

  void Decode(std::string_view payload) override {
    try {
      model::S_HARDWARE_DATA record = model::DecodePayload(payload);
      const model::TimeStamp now = model::CurrentTimeStamp();
      record.Time = now.Local;
      record.UtcMs = now.UtcMs;
      recorder_.Record(record);
      if (live_ != nullptr) {
        live_->PutFrame(record);
      }
      if (tsv_ && output_error_.load() == 0 &&
          !LineLog::WriteAll(STDOUT_FILENO, model::ExportLine(record))) {
        output_error_ = errno == 0 ? EIO : errno;
        on_output_failed_();
      }
    } catch (...) {
      // Out of memory for one line: that frame is not shown; the recorder counted it if lost.
    }
  }
  void RefreshDisplay() override {}

  // 0, or the errno with which standard output failed.
  int OutputError() const { return output_error_.load(); }

 private:
  record::Recorder& recorder_;
  web::LiveSlot* const live_;
  const bool tsv_;
  std::function<void()> on_output_failed_;
  std::atomic<int> output_error_{0};
};

std::string EventLine(const record::RecorderEvent& event, const std::string& file) {
  using Kind = record::RecorderEvent::Kind;
  const record::RunSummary& run = event.run;
  const std::string name = "run " + std::to_string(run.id);
  const std::string pack = run.pack_name.empty() ? "" : ", pack \"" + run.pack_name + "\"";
  switch (event.kind) {
    case Kind::kRunBegan:
      return name + " began: channel " + std::to_string(run.channel) + ", " +
             record::RunKindWord(run.kind) + pack;
    case Kind::kRunEnded:
      return name + " ended: channel " + std::to_string(run.channel) + ", " +
             record::RunKindWord(run.kind) + ", " + run.end_text + ", " +
             model::OperatingTimeText(run.DurationMs()) + ", " +
             model::FormatMilli(run.capacity_mah) + " Ah, " + std::to_string(run.frames) +
             " frames" + pack;
    case Kind::kPaused:
      return "recording paused: " + event.text;
    case Kind::kResumed:
      return "recording resumed";
    case Kind::kMovedAside:
      return "recording: the damaged file was moved aside to " + event.text +
             "; a new one is started";
    case Kind::kRunClosed:
      return record::ClosedRunLine(run);
    case Kind::kDamaged:
      return record::DamagedLine(file, event.text);
  }
  return "recording: event";
}

// A store that cannot be used at all ends the program; one that is busy, full or damaged is the
// recorder's to report and retry, as in the window.
void CheckStore(const std::string& path) {
  try {
    record::Store store(path);
  } catch (const record::StoreError& error) {
    using record::StoreFault;
    if (error.fault() != StoreFault::kLocked && error.fault() != StoreFault::kFull &&
        error.fault() != StoreFault::kCorrupt) {
      throw;
    }
  }
}

const char* SignalName(int number) {
  switch (number) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "a signal";
  }
}

}  // namespace

int RunRecord(const RecordOptions& options, const link::PortMap& ports) {
  ChoosePacks(options.store, options.packs);
  CheckStore(options.store);
  if (options.tsv && !LineLog::WriteAll(STDOUT_FILENO, model::ExportHeaderLine())) {
    throw std::runtime_error(std::string("cannot write to standard output: ") +
                             std::strerror(errno));
  }
  LineLog log;
  link::HandOffQueue ui;  // this thread serves the link's hand-offs
  std::atomic<int> signal_number{0};
  SignalWatcher signals([&](int number) {
    signal_number = number;
    ui.WakeUi();
  });

  // The web page first, so that an address it cannot use stops the program before it records.
  web::LiveSlot live;
  std::unique_ptr<web::Server> server;
  if (options.http) {
    server = std::make_unique<web::Server>(*options.http, live);
  }
  web::LiveSlot* const live_feed = server ? &live : nullptr;

  record::Recorder::Options recorder_options;
  recorder_options.path = options.store;
  recorder_options.on_event = [&log, &options, live_feed](const record::RecorderEvent& event) {
    log.Line(EventLine(event, options.store));
    using Kind = record::RecorderEvent::Kind;
    if (live_feed != nullptr && (event.kind == Kind::kRunBegan || event.kind == Kind::kRunEnded)) {
      live_feed->PutRun(event.run);
    }
  };
  record::Recorder recorder(std::move(recorder_options));
  live.SetRecordingSource([&recorder] {
    const record::RecorderStatus status = recorder.Status();
    return web::RecordingState{status.paused_reason.empty() ? "recording" : "paused",
                               status.paused_reason, status.frames_recorded, status.frames_lost};
  });
  // The server reads the recorder's status: it stops before the recorder goes, however this ends.
  struct StopFirst {
    std::unique_ptr<web::Server>& server;
    ~StopFirst() { server.reset(); }
  } stop_server_first{server};
  if (server) {
    log.Line("web page at " + server->Url());
  }
  // Beside the recorder, on its own connection to the file: it never holds the recorder up.
  std::unique_ptr<publish::Publisher> publisher;
  if (options.mqtt) {
    publish::Publisher::Options publisher_options;
    publisher_options.store_path = options.store;
    publisher_options.broker = *options.mqtt;
    publisher_options.on_line = [&log](const std::string& line) { log.Line(line); };
    publisher = std::make_unique<publish::Publisher>(std::move(publisher_options));
  }
  Receiver receiver(recorder, live_feed, options.tsv, [&ui] { ui.WakeUi(); });
  StatusLines status(log, live_feed);
  link::THardwareThread thread(ui, status, receiver, ports);
  // Why the port does not open, once per change, and when it opens or hangs up.
  thread.SetTrace([&log, last = std::string()](const std::string& line) mutable {
    if (line.starts_with("port: ") && line != last) {
      last = line;
      log.Line(line);
    }
  });

  log.Line("recording port " + std::to_string(options.port) + " (" +
           ports.DevicePath(options.port) + ") into " + options.store);
  thread.ChangePort(options.port);
  thread.Resume();
  const auto deadline =
      options.duration_s
          ? std::chrono::steady_clock::now() +
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                    // Capped so that any duration fits the clock.
                    std::chrono::duration<double>(std::min(*options.duration_s, 1e9)))
          : link::UiDispatcher::Deadline::max();
  ui.ServeUntil([&] { return signal_number.load() != 0 || receiver.OutputError() != 0; }, deadline);
  server.reset();
  thread.Terminate();
  thread.WaitFor();
  recorder.Stop();
  if (publisher) {
    publisher->Stop();
  }

  const record::RecorderStatus recorded = recorder.Status();
  const std::string why = signal_number.load() != 0     ? SignalName(signal_number.load())
                          : receiver.OutputError() != 0 ? "standard output failed"
                                                        : "the duration ended";
  std::string summary =
      "stopped (" + why + "): " + std::to_string(recorded.frames_recorded) + " frames recorded";
  if (recorded.frames_lost > 0) {
    summary += ", " + std::to_string(recorded.frames_lost) + " not recorded";
  }
  log.Line(summary);
  if (receiver.OutputError() != 0) {
    log.Line(std::string("korvane-log: cannot write to standard output: ") +
             std::strerror(receiver.OutputError()));
    return 1;
  }
  return 0;
}

}  // namespace korvane::logger
