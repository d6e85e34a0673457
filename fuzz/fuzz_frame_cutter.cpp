// SPDX-License-Identifier: GPL-3.0-or-later
// The frame cutter fed arbitrary reads: it must never crash, never let the buffer grow beyond
// one read plus one frame, and never deliver a payload whose frame it did not check.
#include <cstdlib>
#include <string>

#include "fuzz_input.h"
#include "korvane/link/frame.h"

using korvane::link::ExtractFrame;
using korvane::link::FrameChecksum;
using korvane::link::frNothing;
using korvane::link::frValid;
using korvane::link::kFrameLength;
using korvane::link::kPayloadLength;
using korvane::link::kReadChunk;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  std::string buffer;
  std::string payload;
  while (!input.Empty()) {
    // Each read is 1..1024 bytes, its length taken from the input.
    const std::size_t want = 1 + input.Take<std::uint16_t>() % kReadChunk;
    std::string chunk;
    for (std::size_t i = 0; i < want && !input.Empty(); ++i) {
      chunk += input.Take<char>();
    }
    buffer += chunk;
    for (auto r = ExtractFrame(buffer, payload); r != frNothing;
         r = ExtractFrame(buffer, payload)) {
      if (r == frValid) {
        const std::string frame = '\x0C' + payload;
        if (payload.size() != kPayloadLength ||
            payload.find_first_of("\x0C\x0D") != std::string::npos) {
          std::abort();
        }
        (void)FrameChecksum(frame + "0000\r", kFrameLength);
      }
    }
    if (buffer.size() >= kFrameLength) {
      std::abort();  // only an incomplete frame may remain
    }
  }
  return 0;
}
