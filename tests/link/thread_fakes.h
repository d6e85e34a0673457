// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "korvane/link/comm.h"
#include "korvane/link/link_clock.h"
#include "korvane/link/status.h"
#include "korvane/link/ui_dispatcher.h"
#include "korvane/model/telemetry_sink.h"

namespace korvane::link::testing {

// A clock whose sleeps return only when the test grants them, each advancing time by its length.
// The test thus runs the worker cycle by cycle and the 1000/3000 ms rules take no real time.
class SteppedClock final : public LinkClock {
 public:
  SteppedClock(UiDispatcher& ui, std::uint32_t start) : ui_(ui), now_(start) {}

  std::uint32_t TickCount() override { return now_.load(); }

  void Sleep(std::uint32_t ms) override {
    std::unique_lock lock(mutex_);
    if (interrupted_) {
      return;
    }
    ++waiting_;
    ui_.WakeUi();
    changed_.wait(lock, [&] { return granted_ > 0 || interrupted_; });
    --waiting_;
    if (granted_ > 0) {
      --granted_;
      now_ += ms;
      sleeps_.push_back(ms);
    }
  }

  void Interrupt() override {
    {
      std::lock_guard lock(mutex_);
      interrupted_ = true;
    }
    changed_.notify_all();
  }

  void Grant(int n) {
    {
      std::lock_guard lock(mutex_);
      granted_ += n;
    }
    changed_.notify_all();
  }

  // True when the worker waits in a sleep with nothing granted: its cycle is over.
  bool Idle() {
    std::lock_guard lock(mutex_);
    return waiting_ > 0 && granted_ == 0;
  }

  std::vector<std::uint32_t> Sleeps() {
    std::lock_guard lock(mutex_);
    return sleeps_;
  }

 private:
  UiDispatcher& ui_;
  std::atomic<std::uint32_t> now_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int waiting_ = 0;
  int granted_ = 0;
  bool interrupted_ = false;
  std::vector<std::uint32_t> sleeps_;
};

// Stands in for the telemetry model: records what it was given, checks the thread of each call.
class FakeModel final : public model::TelemetrySink {
 public:
  explicit FakeModel(std::thread::id ui_thread) : ui_thread_(ui_thread) {}

  void Decode(std::string_view payload) override {
    if (std::this_thread::get_id() == ui_thread_) {
      wrong_thread_ = true;
    }
    std::lock_guard lock(mutex_);
    decoded_.emplace_back(payload);
  }

  void RefreshDisplay() override {
    if (std::this_thread::get_id() != ui_thread_) {
      wrong_thread_ = true;
    }
    ++refreshes_;
    if (fail_refreshes_ > 0) {
      --fail_refreshes_;
      throw std::runtime_error("refresh failed");
    }
  }

  std::vector<std::string> Decoded() {
    std::lock_guard lock(mutex_);
    return decoded_;
  }
  std::size_t DecodedCount() { return Decoded().size(); }

  std::atomic<int> refreshes_{0};
  std::atomic<int> fail_refreshes_{0};
  std::atomic<bool> wrong_thread_{false};

 private:
  const std::thread::id ui_thread_;
  std::mutex mutex_;
  std::vector<std::string> decoded_;
};

// Stands in for the window's status lamp; it is only ever called on the UI thread.
class FakeStatusView final : public CommStatusView {
 public:
  explicit FakeStatusView(std::thread::id ui_thread) : ui_thread_(ui_thread) {}

  void SetCommStatus(const std::string& text, TColor color) override {
    if (std::this_thread::get_id() != ui_thread_) {
      wrong_thread_ = true;
    }
    shown.push_back({text, color});
  }
  void SetCommDetail(const std::string& reason) override { details.push_back(reason); }

  std::string Last() const { return shown.empty() ? std::string() : shown.back().text; }
  int Count(const std::string& text) const {
    int n = 0;
    for (const auto& s : shown) {
      n += s.text == text;
    }
    return n;
  }

  std::vector<CommStatus> shown;  // UI thread only
  std::vector<std::string> details;
  bool wrong_thread_ = false;

 private:
  const std::thread::id ui_thread_;
};

// The port's read system call: passes reads through, but fails the next `failures` of them with
// EIO while the line stays up, as a faulty adapter's reads do.
class ReadFaults {
 public:
  TComm::ReadCall Call() {
    return [this](int fd, void* buffer, std::size_t count) -> ssize_t {
      if (failures.load() > 0) {
        --failures;
        errno = EIO;
        return -1;
      }
      return ::read(fd, buffer, count);
    };
  }

  std::atomic<int> failures{0};
};

// Collects the thread's trace lines; a hook may run on each line (on the worker).
class TraceLog {
 public:
  void Add(const std::string& line) {
    std::function<void(const std::string&)> hook;
    {
      std::lock_guard lock(mutex_);
      lines_.push_back(line);
      hook = hook_;
    }
    if (hook) {
      hook(line);
    }
  }
  void SetHook(std::function<void(const std::string&)> hook) {
    std::lock_guard lock(mutex_);
    hook_ = std::move(hook);
  }
  int CountPrefix(const std::string& prefix) {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const auto& l : lines_) {
      n += l.rfind(prefix, 0) == 0;
    }
    return n;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
  std::function<void(const std::string&)> hook_;
};

}  // namespace korvane::link::testing
