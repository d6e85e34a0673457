// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/link/frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_frames.h"

namespace korvane::link {
namespace {

using testing::MakeFrame;
using testing::MakePayload;

struct Outcome {
  FrameResult result;
  std::string payload;  // for frValid
};

// Appends `chunk` and extracts until frNothing, as one acquisition cycle does.
std::vector<Outcome> Feed(std::string& buffer, const std::string& chunk) {
  buffer += chunk;
  std::vector<Outcome> outcomes;
  std::string payload;
  for (FrameResult r = ExtractFrame(buffer, payload); r != frNothing;
       r = ExtractFrame(buffer, payload)) {
    outcomes.push_back({r, r == frValid ? payload : std::string()});
  }
  return outcomes;
}

TEST(FrameChecksum, SumsMarkerAndPayloadAsFourUppercaseDigits) {
  const std::string zeros(118, '0');
  // 0x0C + 118 * '0' (0x30) = 12 + 5664 = 0x162C
  EXPECT_EQ(FrameChecksum(MakeFrame(zeros), 124), "162C");
  std::string frame = "\x0C" + std::string(118, '\0') + "XXXX\r";
  EXPECT_EQ(FrameChecksum(frame, 124), "000C");  // zero-padded
  frame[1] = static_cast<char>(0xFF);            // unsigned bytes
  EXPECT_EQ(FrameChecksum(frame, 124), "010B");
  std::string all_ff(124, static_cast<char>(0xFF));  // 119 * 255 = 30345, no wrap
  EXPECT_EQ(FrameChecksum(all_ff, 124), "7689");
  EXPECT_EQ(FrameChecksum("", 0), "0000");
}

TEST(FrameChecksum, MatchesTheSumTheChargerSends) {
  // A payload whose byte sum with the marker is 0x0F3A is sent with the digits 0, F, 3, A.
  std::string payload(118, '\x20');  // 12 + 118 * 32 = 3788 = 0x0ECC; add 0x6E more
  payload[0] = static_cast<char>(0x20 + 0x6E);
  const std::string frame = MakeFrame(payload);
  EXPECT_EQ(frame.substr(119, 4), "0F3A");
  EXPECT_EQ(FrameChecksum(frame, 124), "0F3A");
}

struct CutCase {
  const char* name;
  std::vector<std::string> reads;
  std::vector<std::vector<Outcome>> expected;  // per read
  std::string rest;
};

std::string Noise(std::size_t n) {
  return std::string(n, 'x');
}

std::vector<CutCase> CutCases() {
  const std::string a = MakeFrame(MakePayload(1));
  const std::string b = MakeFrame(MakePayload(2));
  const std::string pa = MakePayload(1);
  const std::string pb = MakePayload(2);
  std::string lower = MakeFrame(MakePayload(3), true);
  std::string bad_sum = MakeFrame(MakePayload(4));
  bad_sum[120] = bad_sum[120] == '0' ? '1' : '0';
  const std::string short_frame = a.substr(0, 60) + a.substr(61);       // 123 bytes
  const std::string long_frame = a.substr(0, 60) + "0" + a.substr(60);  // 125 bytes
  return {
      {"OneFrameOneRead", {a}, {{{frValid, pa}}}, ""},
      {"SplitAcrossReads",
       {a.substr(0, 50), a.substr(50, 50), a.substr(100)},
       {{}, {}, {{frValid, pa}}},
       ""},
      {"NoiseBeforeStartMarker", {Noise(40) + a}, {{{frValid, pa}}}, ""},
      {"StrayEndMarkerBeforeStartKeepsTheFrame", {"zz\rzz" + a}, {{{frValid, pa}}}, ""},
      {"StrayEndMarkerAlone", {"\r"}, {{}}, ""},
      {"NoStartMarkerEmptiesTheBuffer", {Noise(300)}, {{}}, ""},
      {"TwoFramesOneRead", {a + b}, {{{frValid, pa}, {frValid, pb}}}, ""},
      {"FramePlusPartialKeepsThePartial",
       {a + b.substr(0, 70), b.substr(70)},
       {{{frValid, pa}}, {{frValid, pb}}},
       ""},
      {"PartialStaysUntilComplete", {b.substr(0, 123)}, {{}}, b.substr(0, 123)},
      {"OneByteShort", {short_frame}, {{{frWrongLength, ""}}}, ""},
      {"OneByteLong", {long_frame}, {{{frWrongLength, ""}}}, ""},
      {"WrongLengthThenValidInOneRead",
       {short_frame + b},
       {{{frWrongLength, ""}, {frValid, pb}}},
       ""},
      {"LowercaseChecksumIsWrong", {lower}, {{{frWrongChecksum, ""}}}, ""},
      {"WrongChecksumThenValid", {bad_sum + b}, {{{frWrongChecksum, ""}, {frValid, pb}}}, ""},
      {"NoisyStartMarkerBeforeAGoodFrame",
       {"\x0C" + Noise(30) + a},
       {{{frWrongLength, ""}, {frValid, pa}}},
       ""},
      {"UnendedStartIsDroppedOnceItCannotComplete",
       {"\x0C" + Noise(200)},
       {{{frWrongLength, ""}}},
       ""},
      {"UnendedStartGivesWayToALaterStartThatCanComplete",
       {"\x0C" + Noise(150) + b.substr(0, 60), b.substr(60)},
       {{{frWrongLength, ""}}, {{frValid, pb}}},
       ""},
      // With 122 bytes behind it a start marker may still end a frame; with 123 it cannot.
      {"UnendedStartReportedOnceWhenItFillsAFrame",
       {"\x0C" + Noise(122), Noise(1), Noise(40), a},
       {{}, {{frWrongLength, ""}}, {}, {{frValid, pa}}},
       ""},
      {"UnendedStartsReportedOnceWhenTheLastFillsAFrame",
       {"\x0C" + Noise(10) + "\x0C" + Noise(123)},
       {{{frWrongLength, ""}}},
       ""},
  };
}

void PrintTo(const CutCase& c, std::ostream* os) {
  *os << c.name;
}

class ExtractFrameTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(ExtractFrameTest, ResultsAndRest) {
  const CutCase& c = GetParam();
  std::string buffer;
  ASSERT_EQ(c.reads.size(), c.expected.size());
  for (std::size_t i = 0; i < c.reads.size(); ++i) {
    const auto got = Feed(buffer, c.reads[i]);
    ASSERT_EQ(got.size(), c.expected[i].size()) << "read " << i;
    for (std::size_t k = 0; k < got.size(); ++k) {
      EXPECT_EQ(got[k].result, c.expected[i][k].result) << "read " << i << " result " << k;
      EXPECT_EQ(got[k].payload, c.expected[i][k].payload) << "read " << i << " result " << k;
    }
  }
  EXPECT_EQ(buffer, c.rest);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExtractFrameTest, ::testing::ValuesIn(CutCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ExtractFrame, BufferStaysBoundedUnderEndlessUnendedData) {
  std::string buffer;
  std::string payload;
  std::size_t largest = 0;
  for (int i = 0; i < 2000; ++i) {
    // Every read carries start markers but never an end marker.
    std::string chunk(1024, 'A');
    chunk[i % 1024] = '\x0C';
    chunk[(i * 37) % 1024] = '\x0C';
    buffer += chunk;
    while (ExtractFrame(buffer, payload) != frNothing) {
    }
    largest = std::max(largest, buffer.size());
  }
  EXPECT_LT(largest, kFrameLength);
  // A frame arriving after all that noise is still received.
  const std::string frame = MakeFrame(MakePayload(9));
  buffer += frame;
  FrameResult r = ExtractFrame(buffer, payload);
  while (r == frWrongLength) {
    r = ExtractFrame(buffer, payload);
  }
  EXPECT_EQ(r, frValid);
  EXPECT_EQ(payload, MakePayload(9));
}

TEST(DropIncompleteFrame, KeepsCompleteFramesOnly) {
  const std::string a = MakeFrame(MakePayload(1));
  const struct {
    std::string before;
    std::string after;
  } cases[] = {
      {"", ""},
      {a.substr(0, 60), ""},
      {a, a},
      {a + a.substr(0, 60), a},
      {a + "\r" + "noise", a + "\r"},
  };
  for (const auto& c : cases) {
    std::string buffer = c.before;
    DropIncompleteFrame(buffer);
    EXPECT_EQ(buffer, c.after);
  }
}

TEST(ExtractFrame, PayloadHoldsAnyByteButMarkers) {
  std::string payload(118, '\0');
  for (std::size_t i = 0; i < payload.size(); ++i) {
    payload[i] = static_cast<char>(0x80 + i);
  }
  std::string buffer = MakeFrame(payload);
  std::string got;
  EXPECT_EQ(ExtractFrame(buffer, got), frValid);
  EXPECT_EQ(got, payload);
}

}  // namespace
}  // namespace korvane::link
