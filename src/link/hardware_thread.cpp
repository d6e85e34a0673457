#include "korvane/link/hardware_thread.h"

#include <exception>

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
      form_(form),
      data_(data),
      clock_(clock ? std::move(clock) : std::make_unique<SystemClock>()),
      comm_(std::make_unique<TComm>(ports)) {}

THardwareThread::~THardwareThread() {
  Terminate();
  WaitFor();
}

void THardwareThread::ChangePort(int number) {
  {
    std::lock_guard guard(lock_);
    if (number == port_number_) {
      return;
    }
    port_number_ = number;
    state_ = kOpening;
  }
  SetStatus(kStatusInitializing, kColorInitializing);
  const CommStatus shown = Status();
  ui_.RunOnUi([&] { form_.SetCommStatus(shown.text, shown.color); });
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

void THardwareThread::WaitFor() {
  if (!worker_.joinable()) {
    return;
  }
  ui_.ServeUntil([this] { return finished_.load(); });
  worker_.join();
}

int THardwareThread::PortNumber() const {
  std::lock_guard guard(lock_);
  return port_number_;
}

CommStatus THardwareThread::Status() const {
  std::lock_guard guard(status_lock_);
  return status_;
}

void THardwareThread::SetStatus(const char* text, TColor color) {
  std::lock_guard guard(status_lock_);
  status_.text = text;
  status_.color = color;
}

void THardwareThread::SetState(State state) {
  std::lock_guard guard(lock_);
  state_ = state;
}

void THardwareThread::TraceLine(const std::string& line) const {
  if (trace_) {
    trace_(line);
  }
}

void THardwareThread::Execute() {
  Run run;
  {
    // The window keeps what ChangePort showed; the run starts with nothing published.
    std::lock_guard guard(status_lock_);
    status_.text.clear();
  }
  while (!terminated_) {
    try {
      RunCycle(run);
    } catch (...) {
      // Whatever failed (including a call handed to the UI), the next cycle reopens the port.
      SetState(kOpening);
    }
    clock_->Sleep(kCycleMs);
  }
  comm_->Close();
  finished_ = true;
  ui_.WakeUi();
}

void THardwareThread::RunCycle(Run& run) {
  State state;
  {
    std::lock_guard guard(lock_);
    // A port change that landed while the worker was opening the old port is not lost.
    if (state_ == kReceiving && (!run.port_open || run.opened_port != port_number_)) {
      state_ = kOpening;
    }
    state = state_;
  }
  if (state == kOpening) {
    OpenStep(run);
  } else if (state == kReceiving) {
    ReceiveStep(run);
  } else {
    SetState(kOpening);
  }
  PublishStep(run);
}

void THardwareThread::OpenStep(Run& run) {
  comm_->Close();
  run.port_open = false;
  const int port = PortNumber();
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
    run.last_event_tick = clock_->TickCount();
    return;
  }
  SetStatus(kStatusOpenFailed, kColorOpenFailed);
  clock_->Sleep(kOpenRetryPauseMs);
}

void THardwareThread::ReceiveStep(Run& run) {
  bool read_failed = false;
  FrameResult result = ReceiveFrame(*comm_, lock_, run.receive_buffer, run.payload, read_failed);
  if (read_failed) {
    // A failed read or a hang-up (adapter unplugged): close and reopen on the next cycle, which
    // reports the port as unavailable until it is back.
    TraceLine("port: " + std::to_string(run.opened_port) + " read failed or hung up");
    SetState(kOpening);
  }
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
  TraceLine(std::string("frame: ") + ResultName(result));
  switch (result) {
    case frValid:
      data_.Decode(run.payload);
      ui_.RunOnUi([this] { data_.RefreshDisplay(); });
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
  run.last_event_tick = clock_->TickCount();
}

void THardwareThread::PublishStep(Run& run) {
  const CommStatus status = Status();
  if (status.text == run.last_published) {
    return;
  }
  ui_.RunOnUi([&] { form_.SetCommStatus(status.text, status.color); });
  run.last_published = status.text;
}

}  // namespace korvane::link
