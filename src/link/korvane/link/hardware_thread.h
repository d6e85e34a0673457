// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "korvane/link/comm.h"
#include "korvane/link/frame.h"
#include "korvane/link/link_clock.h"
#include "korvane/link/status.h"
#include "korvane/link/ui_dispatcher.h"

namespace korvane::model {
class TelemetrySink;
}

namespace korvane::link {

class PortMap;

// The acquisition thread: opens the chosen port, polls it about every 50 ms, cuts and checks
// frames, has each valid payload decoded and the window refreshed, and keeps the link status.
// It recovers by itself: a port that fails to open is retried about once a second; a hang-up
// (cable pulled) and any exception in a cycle make the next cycle reopen; the exception is traced.
// A failed read counts as no bytes. Silence is measured from the last frame result, or from the
// first open of a newly chosen port; reopening the same port does not restart it.
//
// Created suspended. The UI thread calls ChangePort, then Resume; on close Terminate, then
// WaitFor (which keeps serving hand-offs), then destroys it before the model.
class THardwareThread {
 public:
  static constexpr std::uint32_t kCycleMs = 50;
  static constexpr std::uint32_t kOpenRetryPauseMs = 1000;
  static constexpr std::uint32_t kSilenceMs = 3000;

  // Receives one line per link event (open attempts, frame results, a cycle that failed and
  // why); called on the worker.
  using Trace = std::function<void(const std::string&)>;

  THardwareThread(UiDispatcher& ui, CommStatusView& form, model::TelemetrySink& data,
                  const PortMap& ports, std::unique_ptr<LinkClock> clock = nullptr);
  ~THardwareThread();
  THardwareThread(const THardwareThread&) = delete;
  THardwareThread& operator=(const THardwareThread&) = delete;

  // UI thread. Switches the link to port `number` and shows "Initializing..." at once (unless
  // the window shows it already); does nothing when `number` is the current port.
  void ChangePort(int number);
  // Starts the run; does nothing when it already started.
  void Resume();
  // Asks the run to end; it ends at the top of its next cycle (pauses are cut short).
  void Terminate();
  // UI thread: waits until the run has ended, serving hand-offs meanwhile.
  void WaitFor();

  // Set before Resume.
  void SetTrace(Trace trace);
  void SetReadCall(TComm::ReadCall call);

  bool Terminated() const { return terminated_.load(); }
  bool Finished() const { return finished_.load(); }
  int PortNumber() const;
  CommStatus Status() const;
  // Why the port failed to open (see CommStatusView::SetCommDetail); empty otherwise.
  std::string Detail() const;

 private:
  enum State : std::uint8_t { kOpening = 0, kReceiving = 1 };

  struct Run {
    std::string receive_buffer;
    std::string payload;
    std::uint32_t last_event_tick = 0;
    int opened_port = 0;
    bool port_open = false;
    bool arm_silence_on_open = true;  // a newly chosen port starts the measure when it opens
    bool read_failing = false;        // a run of failed reads is traced once
    const char* step = "open";        // what the cycle was doing, for the trace of a failure
  };

  void Execute();
  void Recover(const Run& run, const char* what);
  void RunCycle(Run& run);
  void OpenStep(Run& run);
  void ReceiveStep(Run& run);
  void HandleResult(Run& run, FrameResult result);
  void ClearDetail();
  void PublishStep();
  void ShowStatus();
  void SetStatus(const char* text, TColor color, std::string detail = {});
  void SetState(State state);
  void TraceLine(const std::string& line) const;

  UiDispatcher& ui_;
  const std::thread::id ui_thread_;  // the constructing thread, for the contract checks
  CommStatusView& form_;
  model::TelemetrySink& data_;
  std::unique_ptr<LinkClock> clock_;
  std::unique_ptr<TComm> comm_;

  // Guards each read from comm_ and the change of port_number_ with state_.
  mutable std::mutex mutex_;
  int port_number_ = -1;
  State state_ = kOpening;
  bool port_changed_ = false;  // until the worker next opens

  // Written by both threads; never held across a hand-off.
  mutable std::mutex status_mutex_;
  CommStatus status_;
  std::string detail_;
  std::string shown_text_;  // what the window shows; changed on the UI thread only
  std::string shown_detail_;

  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::thread worker_;
  Trace trace_;
};

}  // namespace korvane::link
