// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace korvane::sim {

// How often a fault strikes: on every `every`-th frame (frames counted from 1; 0 = never) and,
// independently, at random with `probability` per frame.
struct FaultRate {
  double probability = 0;
  std::uint32_t every = 0;

  bool Enabled() const { return probability > 0 || every > 0; }
};

struct FaultOptions {
  FaultRate noise;                   // random bytes written just before the frame
  std::size_t noise_max_bytes = 16;  // 1..this many bytes each time (at most kMaxNoiseBytes)
  bool noise_markers = false;        // let the noise hold 0x0C/0x0D too
  FaultRate bad_checksum;            // checksum digits that do not match the content
  FaultRate bad_length;              // one payload byte dropped or added (checksum kept right)
  FaultRate split;                   // the write cut into `split_parts` writes
  std::size_t split_parts = 3;
  std::chrono::milliseconds split_gap{60};  // pause between the parts of a split write
  FaultRate merge;                          // this frame and the next in one write
  FaultRate silence;                        // a pause before the frame, on top of the interval
  std::chrono::milliseconds silence_time{3500};
};

// Noise stays shorter than a frame so that it can never pose as one.
inline constexpr std::size_t kMaxNoiseBytes = 100;

struct FaultDecision {
  bool noise = false;
  bool bad_checksum = false;
  bool bad_length = false;
  bool split = false;
  bool merge = false;
  bool silence = false;
};

struct PlannedFrame {
  std::string frame;  // a well-formed encoded frame
  FaultDecision faults;
};

struct Chunk {
  std::chrono::milliseconds pause_before{0};
  std::string bytes;  // one write
};

struct FrameSpan {
  std::size_t begin = 0;  // offset in the concatenation of all chunks
  std::size_t size = 0;
  bool well_formed = false;  // neither its length nor its checksum was damaged
};

// What goes on the line for one or two frames.
struct Transmission {
  std::vector<Chunk> chunks;
  std::vector<FrameSpan> frames;
};

// Decides and applies faults. Deterministic for a given seed.
class FaultInjector {
 public:
  FaultInjector(const FaultOptions& options, std::uint64_t seed);

  // The faults for the next frame.
  FaultDecision Decide();

  // Builds the writes for `frames`: the first frame's decision sets the packing (merge means the
  // caller passes two frames, split, silence); every frame gets its own noise and damage.
  Transmission Shape(const std::vector<PlannedFrame>& frames);

 private:
  bool Strikes(const FaultRate& rate);
  std::string Noise();
  std::string DamageLength(const std::string& frame);

  FaultOptions options_;
  std::mt19937_64 rng_;
  std::uint64_t frame_number_ = 0;
};

// Counts the frames of `transmission` that reach a receiver intact, given how many bytes of each
// chunk the line took (`written[i]` for chunk i): well-formed, every byte written, and not
// swallowed by an earlier start marker still waiting for its end marker. `line_open` carries that
// marker state from one transmission to the next.
int CountIntactFrames(const Transmission& transmission, const std::vector<std::size_t>& written,
                      bool& line_open);

}  // namespace korvane::sim
