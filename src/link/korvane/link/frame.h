// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace korvane::link {

class TComm;

// A frame on the wire: start marker, 118 payload characters, 4 uppercase hex checksum digits
// (the byte sum of marker and payload), end marker.
inline constexpr std::size_t kFrameLength = 124;
inline constexpr std::size_t kPayloadLength = 118;
inline constexpr char kStartMarker = 0x0C;
inline constexpr char kEndMarker = 0x0D;
inline constexpr int kReadChunk = 1024;

enum FrameResult : std::uint8_t {
  frNothing = 0,        // no complete frame (yet)
  frValid = 1,          // a valid frame; its payload was delivered
  frWrongLength = 2,    // a start marker and a later end marker span a length other than 124
  frWrongChecksum = 3,  // 124 bytes whose checksum characters differ from the computed ones
};

// Sum of the unsigned bytes text[0 .. len-6] (for a frame: the start marker and the payload),
// as four uppercase hex digits.
std::string FrameChecksum(std::string_view text, std::size_t len);

// Cuts the next frame out of `buffer`. Returns frNothing when the buffer holds no further
// result; call again after any other result, since one read may carry several frames.
// Consumes exactly the bytes of the returned result and keeps the rest:
// - bytes before the first start marker can never belong to a frame and are dropped;
// - a frame is complete at its end marker; only the bytes up to and including it are consumed;
// - when a later start marker sits between a start and the end marker, the bytes before it are
//   reported as frWrongLength on their own, so a good frame right after noise is still kept;
// - without an end marker, a start marker that has 124 or more bytes behind it can no longer
//   begin a valid frame: it is dropped (frWrongLength) up to the next start marker that can.
// So the buffer never holds more than one read plus one incomplete frame.
// On frValid, `payload` receives the 118 payload characters.
FrameResult ExtractFrame(std::string& buffer, std::string& payload);

// Drops an incomplete frame at the end of `buffer` and keeps any complete ones before it. Used
// when the port is reopened: bytes from before must never join the new connection's bytes.
void DropIncompleteFrame(std::string& buffer);

// One receive of the acquisition cycle: reads what has arrived (up to 1024 bytes, under `lock`),
// appends it to `buffer` and returns the first result of ExtractFrame. `read_result` receives
// TComm::Read's result: a byte count, or kCommReadFailed or kCommHungUp.
FrameResult ReceiveFrame(TComm& comm, std::mutex& lock, std::string& buffer, std::string& payload,
                         int& read_result);

}  // namespace korvane::link
