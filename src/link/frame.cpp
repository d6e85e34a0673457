// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/link/frame.h"

#include <array>
#include <cstdio>

#include "korvane/link/comm.h"

namespace korvane::link {

std::string FrameChecksum(std::string_view text, std::size_t len) {
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i + 5 < len && i < text.size(); ++i) {
    sum = static_cast<std::uint16_t>(sum + static_cast<unsigned char>(text[i]));
  }
  char digits[8];
  std::snprintf(digits, sizeof digits, "%.4X", static_cast<unsigned>(sum));
  return digits;
}

FrameResult ExtractFrame(std::string& buffer, std::string& payload) {
  const std::size_t start = buffer.find(kStartMarker);
  if (start == std::string::npos) {
    buffer.clear();
    return frNothing;
  }
  buffer.erase(0, start);

  const std::size_t end = buffer.find(kEndMarker);
  if (end == std::string::npos) {
    if (buffer.size() < kFrameLength) {
      return frNothing;  // may still complete
    }
    // The start marker at 0 would need its end marker at 123; another start marker can only
    // begin a frame if it has fewer than 124 bytes behind it.
    const std::size_t next = buffer.rfind(kStartMarker);
    if (next != 0 && buffer.size() - next < kFrameLength) {
      buffer.erase(0, next);
    } else {
      buffer.clear();
    }
    return frWrongLength;
  }

  const std::size_t last_start = buffer.rfind(kStartMarker, end);
  if (last_start != 0) {
    buffer.erase(0, last_start);
    return frWrongLength;
  }
  if (end + 1 != kFrameLength) {
    buffer.erase(0, end + 1);
    return frWrongLength;
  }
  const std::string_view frame(buffer.data(), kFrameLength);
  const bool valid = frame.substr(kFrameLength - 5, 4) == FrameChecksum(frame, kFrameLength);
  if (valid) {
    payload.assign(frame.substr(1, kPayloadLength));
  }
  buffer.erase(0, kFrameLength);
  return valid ? frValid : frWrongChecksum;
}

void DropIncompleteFrame(std::string& buffer) {
  const std::size_t end = buffer.rfind(kEndMarker);
  buffer.erase(end == std::string::npos ? 0 : end + 1);
}

FrameResult ReceiveFrame(TComm& comm, std::mutex& lock, std::string& buffer, std::string& payload,
                         int& read_result) {
  std::array<char, kReadChunk> chunk;
  int n = 0;
  {
    std::lock_guard guard(lock);
    n = comm.Read(chunk.data(), kReadChunk);
  }
  read_result = n;
  if (n > 0) {
    buffer.append(chunk.data(), static_cast<std::size_t>(n));
  }
  // Without new bytes the buffer holds at most an incomplete frame, or frames left over when a
  // cycle was cut short by an exception; looking again is cheap and finds those.
  if (buffer.empty()) {
    return frNothing;
  }
  return ExtractFrame(buffer, payload);
}

}  // namespace korvane::link
