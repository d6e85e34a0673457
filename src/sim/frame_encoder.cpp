// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/sim/frame_encoder.h"

#include <cstdint>

namespace korvane::sim {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHex(std::string& out, std::uint32_t value, int digits) {
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
    out.push_back(kHexDigits[(value >> shift) & 0xF]);
  }
}

void AppendChannel(std::string& out, const ChannelState& ch) {
  AppendHex(out, ch.input_mv, 4);
  AppendHex(out, ch.mode, 2);
  AppendHex(out, ch.status, 2);
  AppendHex(out, ch.cycle, 2);
  AppendHex(out, ch.output_mv, 4);
  AppendHex(out, ch.current_ma, 4);
  AppendHex(out, ch.capacity_mah, 4);
  AppendHex(out, ch.temp_tenths, 4);
  AppendHex(out, ch.temp_sign, 2);
  AppendHex(out, ch.temp_unit, 2);
  for (std::uint16_t cell : ch.cells_mv) {
    AppendHex(out, cell, 4);
  }
}

}  // namespace

std::string EncodePayload(const ChargerRecord& record) {
  std::string out;
  out.reserve(kPayloadSize);
  AppendHex(out, record.frame_code, 2);
  for (const ChannelState& ch : record.channels) {
    AppendChannel(out, ch);
  }
  return out;
}

std::string ChecksumText(std::string_view covered) {
  std::uint32_t sum = 0;
  for (char c : covered) {
    sum += static_cast<unsigned char>(c);
  }
  std::string out;
  AppendHex(out, sum & 0xFFFF, 4);
  return out;
}

std::string FrameFromPayload(std::string_view payload) {
  std::string frame;
  frame.reserve(payload.size() + 6);
  frame.push_back(kStartMarker);
  frame.append(payload);
  frame.append(ChecksumText(frame));
  frame.push_back(kEndMarker);
  return frame;
}

std::string EncodeFrame(const ChargerRecord& record) {
  return FrameFromPayload(EncodePayload(record));
}

}  // namespace korvane::sim
