// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/link/hardware_thread.h"

#include <exception>
#include <utility>

#include "korvane/contract.h"
#include "korvane/link/open_failure.h"
#include "korvane/link/port_map.h"
#include "korvane/model/telemetry_sink.h"

namespace korvane::link {
namespace {

const char* ResultName(FrameResult result) {
  switch (result) {
    case frValid:
      return "valid";
    case frWrongLength:
      return "wrong length";
    case frWrongChecksum:
      return "wrong checksum";
    default:
      return "nothing";
  }
}

}  // namespace

THardwareThread::THardwareThread(UiDispatcher& ui, CommStatusView& form, model::TelemetrySink& data,
                                 const PortMap& ports, std::unique_ptr<LinkClock> clock)
    : ui_(ui),
      ui_thread_(std::this_thread::get_id()),
      form_(form),
      data_(data),
      clock_(clock ? std::move(clock) : std::make_unique<SystemClock>()),
      comm_(std::make_unique<TComm>(ports)) {}

THardwareThread::~THardwareThread() {
  Terminate();
  WaitFor();
}

void THardwareThread::ChangePort(int number) {
  KORVANE_EXPECT(std::this_thread::get_id() == ui_thread_,
                 "THardwareThread::ChangePort is called on the UI thread");
  {
    std::lock_guard guard(mutex_);
    if (number == port_number_) {
      return;
    }
    port_number_ = number;
    state_ = kOpening;
    port_changed_ = true;
  }
  SetStatus(kStatusInitializing, kColorInitializing);
  ui_.RunOnUi([this] { ShowStatus(); });
}

void THardwareThread::Resume() {
  if (worker_.joinable() || terminated_) {
    return;
  }
  worker_ = std::thread([this] { Execute(); });
}

void THardwareThread::Terminate() {
  terminated_ = true;
  clock_->Interrupt();
}

void THardwareThread::SetTrace(Trace trace) {
  KORVANE_EXPECT(!worker_.joinable(), "THardwareThread's trace is set before Resume");
  trace_ = std::move(trace);
}

void THardwareThread::SetReadCall(TComm::ReadCall call) {
  KORVANE_EXPECT(!worker_.joinable(), "THardwareThread's read call is set before Resume");
  comm_->SetReadCall(std::move(call));
}

void THardwareThread::WaitFor() {
  KORVANE_EXPECT(std::this_thread::get_id() == ui_thread_,
                 "THardwareThread::WaitFor is called on the UI thread");
  if (!worker_.joinable()) {
    return;
  }
  ui_.ServeUntil([this] { return finished_.load(); });
  worker_.join();
}

int THardwareThread::PortNumber() const {
  std::lock_guard guard(mutex_);
  return port_number_;
}

CommStatus THardwareThread::Status() const {
  std::lock_guard guard(status_mutex_);
  return status_;
}

std::string THardwareThread::Detail() const {
  std::lock_guard guard(status_mutex_);
  return detail_;
}

void THardwareThread::SetStatus(const char* text, TColor color, std::string detail) {
  std::lock_guard guard(status_mutex_);
  status_.text = text;
  status_.color = color;
  detail_ = std::move(detail);
}

void THardwareThread::SetState(State state) {
  std::lock_guard guard(mutex_);
  state_ = state;
}

void THardwareThread::TraceLine(const std::string& line) const {
  if (trace_) {
    trace_(line);
  }
}

void THardwareThread::Execute() {
  // The window keeps what ChangePort showed: the status already equals it.
  Run run;
  while (!terminated_) {
    try {
      RunCycle(run);
    } catch (const std::exception& error) {
      Recover(run, error.what());
    } catch (...) {
      Recover(run, "an exception of unknown type");
    }
    clock_->Sleep(kCycleMs);
  }
  comm_->Close();
  finished_ = true;
  ui_.WakeUi();
}

// Whatever failed (including a call handed to the UI), the next cycle reopens the port.
void THardwareThread::Recover(const Run& run, const char* what) {
  SetState(kOpening);
  try {
    TraceLine(std::string("cycle: ") + run.step + " on port " + std::to_string(PortNumber()) +
              " failed: " + what + "; reopening");
  } catch (...) {
    // A trace that fails has nowhere else to go; the run must go on.
  }
}

void THardwareThread::RunCycle(Run& run) {
  State state;
  {
    std::lock_guard guard(mutex_);
    // A port change that landed while the worker was opening the old port is not lost.
    if (state_ == kReceiving && (!run.port_open || run.opened_port != port_number_)) {
      state_ = kOpening;
    }
    state = state_;
  }
  if (state == kOpening) {
    run.step = "open";
    OpenStep(run);
  } else if (state == kReceiving) {
    run.step = "receive";
    ReceiveStep(run);
  } else {
    SetState(kOpening);
  }
  run.step = "status";
  PublishStep();
}

void THardwareThread::OpenStep(Run& run) {
  comm_->Close();
  run.port_open = false;
  int port = 0;
  {
    std::lock_guard guard(mutex_);
    port = port_number_;
    run.arm_silence_on_open = std::exchange(port_changed_, false) || run.arm_silence_on_open;
  }
  std::string reason;
  const int result = comm_->Open(port, &reason);
  if (result == kCommOk) {
    comm_->Purge();
    comm_->ClearErrors();
    DropIncompleteFrame(run.receive_buffer);
  }
  // Traced once stale input is gone: whatever arrives from here on is received.
  TraceLine("port: " + std::to_string(port) + " -> " + std::to_string(result) +
            (reason.empty() ? std::string(" (opened)") : " (" + reason + ")"));
  if (result == kCommOk) {
    run.port_open = true;
    run.opened_port = port;
    SetState(kReceiving);
    ClearDetail();
    if (std::exchange(run.arm_silence_on_open, false)) {
      run.last_event_tick = clock_->TickCount();
    }
    return;
  }
  // Described here, off the UI thread: it may look up the group database.
  SetStatus(kStatusOpenFailed, kColorOpenFailed, DescribeOpenFailure(comm_->LastFailure()));
  clock_->Sleep(kOpenRetryPauseMs);
}

void THardwareThread::ReceiveStep(Run& run) {
  int read_result = 0;
  FrameResult result = ReceiveFrame(*comm_, mutex_, run.receive_buffer, run.payload, read_result);
  if (read_result == kCommHungUp) {
    // Adapter unplugged: close and reopen on the next cycle, which reports the port as
    // unavailable until it is back.
    TraceLine("port: " + std::to_string(run.opened_port) + " hung up");
    SetState(kOpening);
  } else if (read_result == kCommReadFailed && !run.read_failing) {
    // No bytes this cycle. Reopening would purge what the driver already holds.
    TraceLine("port: " + std::to_string(run.opened_port) + " read failed");
  }
  run.read_failing = read_result == kCommReadFailed;
  if (result == frNothing) {
    if (TickElapsed(run.last_event_tick, kSilenceMs, clock_->TickCount())) {
      SetStatus(kStatusTimeout, kColorTimeout);
    }
    return;
  }
  while (result != frNothing) {
    HandleResult(run, result);
    result = ExtractFrame(run.receive_buffer, run.payload);
  }
}

void THardwareThread::HandleResult(Run& run, FrameResult result) {
  // Counted before the hand-off, which may throw: the result came either way.
  run.last_event_tick = clock_->TickCount();
  TraceLine(std::string("frame: ") + ResultName(result));
  switch (result) {
    case frValid:
      run.step = "decode";
      data_.Decode(run.payload);
      run.step = "refresh";
      ui_.RunOnUi([this] { data_.RefreshDisplay(); });
      run.step = "receive";
      SetStatus(kStatusOk, kColorOk);
      break;
    case frWrongLength:
      SetStatus(kStatusWrongLength, kColorWrongLength);
      break;
    case frWrongChecksum:
      SetStatus(kStatusWrongChecksum, kColorWrongChecksum);
      break;
    default:
      break;
  }
}

void THardwareThread::ClearDetail() {
  std::lock_guard guard(status_mutex_);
  detail_.clear();
}

void THardwareThread::PublishStep() {
  {
    std::lock_guard guard(status_mutex_);
    if (status_.text == shown_text_ && detail_ == shown_detail_) {
      return;
    }
  }
  ui_.RunOnUi([this] { ShowStatus(); });
}

// UI thread, so a port change that showed its status meanwhile is seen here, not shown twice.
// A window that throws has shown nothing: the next publish step tries again.
void THardwareThread::ShowStatus() {
  CommStatus status;
  std::string detail;
  bool text_changed = false;
  bool detail_changed = false;
  {
    std::lock_guard guard(status_mutex_);
    text_changed = status_.text != shown_text_;
    detail_changed = detail_ != shown_detail_;
    status = status_;
    detail = detail_;
  }
  // Each part counts as shown once the window took it; one that threw is offered again.
  if (text_changed) {
    form_.SetCommStatus(status.text, status.color);
    std::lock_guard guard(status_mutex_);
    shown_text_ = status.text;
  }
  if (detail_changed) {
    form_.SetCommDetail(detail);
    std::lock_guard guard(status_mutex_);
    shown_detail_ = detail;
  }
}

}  // namespace korvane::link
