// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

// Reads typed values off the front of a fuzzer's input; past the end everything is zero.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool Empty() const { return at_ >= size_; }

  template <typename T>
  T Take() {
    T value{};
    const std::size_t n = std::min(sizeof(T), size_ - std::min(at_, size_));
    std::memcpy(&value, data_ + at_, n);
    at_ += sizeof(T);
    return value;
  }

  std::string TakeString(std::size_t max) {
    const std::size_t want = Take<std::uint8_t>() % (max + 1);
    const std::size_t from = std::min(at_, size_);
    const std::size_t n = std::min(want, size_ - from);
    at_ = from + n;
    return std::string(reinterpret_cast<const char*>(data_) + from, n);
  }

  std::string Rest() {
    const std::size_t from = std::min(at_, size_);
    at_ = size_;
    return std::string(reinterpret_cast<const char*>(data_) + from, size_ - from);
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};
