// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/sim/faults.h"

#include <algorithm>

#include "korvane/sim/frame_encoder.h"

namespace korvane::sim {
namespace {

constexpr std::size_t kChecksumSize = 4;

std::string ReplaceChecksum(std::string frame, std::uint32_t value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const std::size_t at = frame.size() - 1 - kChecksumSize;
  for (std::size_t i = 0; i < kChecksumSize; ++i) {
    frame[at + i] = kHex[(value >> (12 - 4 * i)) & 0xF];
  }
  return frame;
}

std::uint32_t ChecksumValue(const std::string& frame) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 + kChecksumSize < frame.size(); ++i) {
    sum += static_cast<unsigned char>(frame[i]);
  }
  return sum & 0xFFFF;
}

}  // namespace

FaultInjector::FaultInjector(const FaultOptions& options, std::uint64_t seed)
    : options_(options), rng_(seed) {
  options_.noise_max_bytes = std::clamp<std::size_t>(options_.noise_max_bytes, 1, kMaxNoiseBytes);
  options_.split_parts = std::clamp<std::size_t>(options_.split_parts, 2, kFrameSize);
}

bool FaultInjector::Strikes(const FaultRate& rate) {
  const bool scheduled = rate.every > 0 && frame_number_ % rate.every == 0;
  // Draw even when scheduled, so a rate's random strikes do not depend on the schedule.
  const bool random =
      rate.probability > 0 && std::uniform_real_distribution<double>(0, 1)(rng_) < rate.probability;
  return scheduled || random;
}

FaultDecision FaultInjector::Decide() {
  ++frame_number_;
  FaultDecision d;
  d.noise = Strikes(options_.noise);
  d.bad_checksum = Strikes(options_.bad_checksum);
  d.bad_length = Strikes(options_.bad_length);
  d.split = Strikes(options_.split);
  d.merge = Strikes(options_.merge);
  d.silence = Strikes(options_.silence);
  return d;
}

std::string FaultInjector::Noise() {
  const std::size_t count =
      std::uniform_int_distribution<std::size_t>(1, options_.noise_max_bytes)(rng_);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string noise;
  while (noise.size() < count) {
    const char c = static_cast<char>(byte(rng_));
    if (options_.noise_markers || (c != kStartMarker && c != kEndMarker)) {
      noise.push_back(c);
    }
  }
  // A start marker left open would swallow the frame that follows; close it as a line glitch.
  const std::size_t start = noise.rfind(kStartMarker);
  const std::size_t end = noise.rfind(kEndMarker);
  if (start != std::string::npos && (end == std::string::npos || end < start)) {
    noise.push_back(kEndMarker);
  }
  return noise;
}

std::string FaultInjector::DamageLength(const std::string& frame) {
  std::string payload = frame.substr(1, frame.size() - 2 - kChecksumSize);
  const std::size_t at = std::uniform_int_distribution<std::size_t>(0, payload.size() - 1)(rng_);
  if (std::uniform_int_distribution<int>(0, 1)(rng_) == 0) {
    payload.erase(at, 1);
  } else {
    payload.insert(at, 1, "0123456789ABCDEF"[std::uniform_int_distribution<int>(0, 15)(rng_)]);
  }
  return FrameFromPayload(payload);
}

Transmission FaultInjector::Shape(const std::vector<PlannedFrame>& frames) {
  Transmission out;
  std::string bytes;
  for (const PlannedFrame& planned : frames) {
    if (planned.faults.noise) {
      bytes += Noise();
    }
    std::string frame = planned.frame;
    if (planned.faults.bad_length) {
      frame = DamageLength(frame);
    }
    if (planned.faults.bad_checksum) {
      const auto offset = std::uniform_int_distribution<std::uint32_t>(1, 0xFFFF)(rng_);
      frame = ReplaceChecksum(frame, (ChecksumValue(frame) + offset) & 0xFFFF);
    }
    const bool well_formed = !planned.faults.bad_length && !planned.faults.bad_checksum;
    out.frames.push_back(FrameSpan{bytes.size(), frame.size(), well_formed});
    bytes += frame;
  }
  if (frames.empty()) {
    return out;
  }
  const FaultDecision& lead = frames.front().faults;
  const std::chrono::milliseconds first_pause =
      lead.silence ? options_.silence_time : std::chrono::milliseconds(0);
  if (!lead.split || bytes.size() < 2) {
    out.chunks.push_back(Chunk{first_pause, std::move(bytes)});
    return out;
  }
  // Distinct cut points, so that no part is empty.
  const std::size_t parts = std::min(options_.split_parts, bytes.size());
  std::vector<std::size_t> cuts;
  for (std::size_t i = 1; i < bytes.size(); ++i) {
    cuts.push_back(i);
  }
  std::shuffle(cuts.begin(), cuts.end(), rng_);
  cuts.resize(parts - 1);
  std::sort(cuts.begin(), cuts.end());
  cuts.push_back(bytes.size());
  std::size_t from = 0;
  for (std::size_t cut : cuts) {
    const auto pause = from == 0 ? first_pause : options_.split_gap;
    out.chunks.push_back(Chunk{pause, bytes.substr(from, cut - from)});
    from = cut;
  }
  return out;
}

int CountIntactFrames(const Transmission& transmission, const std::vector<std::size_t>& written,
                      bool& line_open) {
  // Offsets that went out, and the marker state just before each of them.
  std::vector<bool> sent;
  std::vector<bool> open_before;
  for (std::size_t i = 0; i < transmission.chunks.size(); ++i) {
    const std::string& bytes = transmission.chunks[i].bytes;
    const std::size_t took = i < written.size() ? std::min(written[i], bytes.size()) : 0;
    for (std::size_t j = 0; j < bytes.size(); ++j) {
      open_before.push_back(line_open);
      sent.push_back(j < took);
      if (j < took && bytes[j] == kStartMarker) {
        line_open = true;
      } else if (j < took && bytes[j] == kEndMarker) {
        line_open = false;
      }
    }
  }
  int intact = 0;
  for (const FrameSpan& span : transmission.frames) {
    if (!span.well_formed || span.begin + span.size > sent.size() || open_before[span.begin]) {
      continue;
    }
    const auto first = sent.begin() + static_cast<std::ptrdiff_t>(span.begin);
    if (std::all_of(first, first + static_cast<std::ptrdiff_t>(span.size),
                    [](bool b) { return b; })) {
      ++intact;
    }
  }
  return intact;
}

}  // namespace korvane::sim
