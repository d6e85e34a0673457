// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/model/history.h"

#include <stdexcept>

namespace korvane::model {

THistory::THistory(std::size_t capacity) : ring_(capacity) {
  if (capacity == 0) {
    throw std::invalid_argument("history capacity must be positive");
  }
}

void THistory::PopFront() {
  head_ = (head_ + 1) % ring_.size();
  --size_;
}

void THistory::PushBack(const S_HARDWARE_DATA& record) {
  if (size_ == ring_.size()) {
    PopFront();
  }
  ring_[(head_ + size_) % ring_.size()] = record;
  ++size_;
}

std::vector<S_HARDWARE_DATA> THistory::Copy() const {
  std::vector<S_HARDWARE_DATA> copy;
  copy.reserve(size_);
  for (std::size_t i = 0; i < size_; ++i) {
    copy.push_back((*this)[i]);
  }
  return copy;
}

}  // namespace korvane::model
