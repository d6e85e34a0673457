// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <vector>

#include "korvane/model/record.h"

namespace korvane::model {

inline constexpr std::size_t kHistoryCapacity = 3600;

// The newest records, oldest first, in a ring of fixed capacity: its storage is allocated once,
// so an append neither allocates nor moves the other entries. Not locked: its owner guards it.
class THistory {
 public:
  explicit THistory(std::size_t capacity = kHistoryCapacity);

  std::size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }
  std::size_t Capacity() const { return ring_.size(); }

  // Index 0 is the oldest entry. Requires index < Size().
  const S_HARDWARE_DATA& operator[](std::size_t index) const {
    return ring_[(head_ + index) % ring_.size()];
  }
  const S_HARDWARE_DATA& Back() const { return (*this)[size_ - 1]; }

  // Drops the oldest entry. Requires a non-empty history.
  void PopFront();
  void PushBack(const S_HARDWARE_DATA& record);

  std::vector<S_HARDWARE_DATA> Copy() const;

 private:
  std::vector<S_HARDWARE_DATA> ring_;
  std::size_t head_ = 0;
  std::size_t size_ = 0;
};

}  // namespace korvane::model
