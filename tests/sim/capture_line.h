#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "korvane/sim/line.h"

namespace korvane::sim::testing {

// A line that keeps every write; optionally takes only `room` bytes in total, dropping the rest.
class CaptureLine final : public Line {
 public:
  explicit CaptureLine(std::size_t room = SIZE_MAX) : room_(room) {}

  WriteReport Send(std::string_view bytes, std::chrono::milliseconds, int) override {
    std::lock_guard lock(mutex_);
    const std::size_t take = std::min(bytes.size(), room_ - std::min(room_, stream_.size()));
    writes_.emplace_back(bytes.substr(0, take));
    stream_.append(bytes.substr(0, take));
    return WriteReport{take, false, false};
  }

  std::string Stream() const {
    std::lock_guard lock(mutex_);
    return stream_;
  }
  std::vector<std::string> Writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
  }

 private:
  mutable std::mutex mutex_;
  std::size_t room_;
  std::string stream_;
  std::vector<std::string> writes_;
};

}  // namespace korvane::sim::testing
