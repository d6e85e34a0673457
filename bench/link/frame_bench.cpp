// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of cutting frames out of the byte stream, per frame, as the acquisition thread does it:
// reads of up to 1024 bytes appended to the buffer, then every complete frame extracted.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "korvane/link/frame.h"
#include "korvane/sim/frame_encoder.h"

namespace {

std::string Stream(int frames, const std::string& noise) {
  std::string bytes;
  korvane::sim::ChargerRecord record;
  for (int i = 0; i < frames; ++i) {
    record.channels[0].output_mv = static_cast<std::uint16_t>(8000 + i);
    record.channels[1].current_ma = static_cast<std::uint16_t>(i * 3);
    bytes += noise;
    bytes += korvane::sim::EncodeFrame(record);
  }
  return bytes;
}

void CutStream(benchmark::State& state, const std::string& stream, int frames) {
  std::string buffer;
  std::string payload;
  std::size_t valid = 0;
  for (auto _ : state) {
    for (std::size_t at = 0; at < stream.size(); at += korvane::link::kReadChunk) {
      buffer.append(stream, at, korvane::link::kReadChunk);
      for (auto r = korvane::link::ExtractFrame(buffer, payload); r != korvane::link::frNothing;
           r = korvane::link::ExtractFrame(buffer, payload)) {
        valid += r == korvane::link::frValid;
      }
    }
  }
  benchmark::DoNotOptimize(valid);
  state.SetItemsProcessed(state.iterations() * frames);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(stream.size()));
}

void BM_CutCleanFrames(benchmark::State& state) {
  static const std::string stream = Stream(100, "");
  CutStream(state, stream, 100);
}
BENCHMARK(BM_CutCleanFrames);

void BM_CutFramesAfterNoise(benchmark::State& state) {
  static const std::string stream = Stream(100, std::string(40, 'x') + "\x0C" + "noise\r");
  CutStream(state, stream, 100);
}
BENCHMARK(BM_CutFramesAfterNoise);

}  // namespace

BENCHMARK_MAIN();
