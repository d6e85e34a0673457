// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/sim/runner.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace korvane::sim {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

}  // namespace

Runner::Runner(Line& line, std::unique_ptr<Scenario> scenario, const RunnerOptions& options)
    : line_(line),
      scenario_(std::move(scenario)),
      options_(options),
      injector_(options.faults, options.fault_seed) {
  int fds[2];
  if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe2");
  }
  wake_read_.Reset(fds[0]);
  wake_write_.Reset(fds[1]);
}

Runner::~Runner() {
  Stop();
}

void Runner::SetOnTransmission(std::function<void(const RunnerStats&)> callback) {
  on_transmission_ = std::move(callback);
}

void Runner::Start() {
  std::lock_guard lock(mutex_);
  if (!stopping_ && !thread_.joinable()) {
    thread_ = std::thread([this] { Run(); });
  }
}

void Runner::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  const char byte = 0;
  // The pipe holds the byte until the thread ends; one is enough, a full pipe is fine.
  [[maybe_unused]] const ssize_t n = ::write(wake_write_.Get(), &byte, 1);
  if (thread_.joinable()) {
    thread_.join();
  }
}

bool Runner::WaitFinished(milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return finished_cv_.wait_for(lock, timeout, [this] { return finished_; });
}

bool Runner::Finished() const {
  std::lock_guard lock(mutex_);
  return finished_;
}

RunnerStats Runner::Stats() const {
  std::lock_guard lock(mutex_);
  return stats_;
}

bool Runner::Pause(milliseconds duration) const {
  const Clock::time_point deadline = Clock::now() + duration;
  for (;;) {
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      return true;
    }
    pollfd fd{wake_read_.Get(), POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(left)) > 0) {
      return false;
    }
  }
}

void Runner::Transmit(const Transmission& transmission) {
  std::vector<std::size_t> written;
  std::uint64_t dropped = 0;
  bool failed = false;
  for (const Chunk& chunk : transmission.chunks) {
    if (failed || (chunk.pause_before.count() > 0 && !Pause(chunk.pause_before))) {
      break;
    }
    const WriteReport report = line_.Send(chunk.bytes, options_.write_wait, wake_read_.Get());
    written.push_back(report.written);
    dropped += chunk.bytes.size() - report.written;
    failed = report.failed;
    if (report.woken) {
      break;
    }
    if (options_.line_bytes_per_s > 0) {
      const double seconds = static_cast<double>(report.written) / options_.line_bytes_per_s;
      if (!Pause(milliseconds(static_cast<long long>(seconds * 1000)))) {
        break;
      }
    }
  }
  const int intact = CountIntactFrames(transmission, written, line_open_);
  RunnerStats snapshot;
  {
    std::lock_guard lock(mutex_);
    stats_.frames += transmission.frames.size();
    stats_.valid_frames += static_cast<std::uint64_t>(intact);
    for (const FrameSpan& span : transmission.frames) {
      stats_.damaged_frames += span.well_formed ? 0 : 1;
    }
    stats_.writes += written.size();
    stats_.dropped_bytes += dropped;
    stats_.line_failed = stats_.line_failed || failed;
    snapshot = stats_;
  }
  if (on_transmission_) {
    on_transmission_(snapshot);
  }
}

void Runner::Run() {
  Clock::time_point next_start = Clock::now();
  for (;;) {
    std::uint64_t frames = 0;
    {
      std::lock_guard lock(mutex_);
      if (stopping_ || stats_.line_failed ||
          (options_.max_frames > 0 && stats_.frames >= options_.max_frames)) {
        break;
      }
      frames = stats_.frames;
    }
    const Clock::time_point now = Clock::now();
    if (next_start > now && !Pause(std::chrono::ceil<milliseconds>(next_start - now))) {
      break;
    }
    next_start = std::max(next_start + options_.interval, Clock::now());

    std::vector<PlannedFrame> planned;
    planned.push_back(PlannedFrame{EncodeFrame(scenario_->Next()), injector_.Decide()});
    const bool room_for_two = options_.max_frames == 0 || frames + 2 <= options_.max_frames;
    if (planned.front().faults.merge && room_for_two) {
      planned.push_back(PlannedFrame{EncodeFrame(scenario_->Next()), injector_.Decide()});
    }
    Transmit(injector_.Shape(planned));
  }
  {
    std::lock_guard lock(mutex_);
    const bool complete = options_.max_frames > 0 && stats_.frames >= options_.max_frames;
    finished_ = complete || stats_.line_failed;
  }
  finished_cv_.notify_all();
}

}  // namespace korvane::sim
