// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/sim/pty.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "pty_reader.h"

namespace korvane::sim {
namespace {

using std::chrono::milliseconds;
using testing::SlaveReader;

constexpr milliseconds kDeadline(5000);

std::string AllByteValues() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) {
    bytes.push_back(static_cast<char>(i));
  }
  return bytes;
}

// Written before and after the reader opens the slave: raw from the start, every byte value
// comes through as sent (no CR/LF translation, no line buffering).
TEST(Pty, BytesArriveUnchanged) {
  auto pty = Pty::Open();
  const std::string early = "\x0C\x0D\x0A\x00\xFF" + AllByteValues();
  ASSERT_TRUE(pty->Write(early));
  SlaveReader reader(pty->SlavePath());
  ASSERT_TRUE(reader.Opened());
  const std::string late = AllByteValues() + "\x0D\x0A\x0C";
  ASSERT_TRUE(pty->Write(late));
  ASSERT_TRUE(reader.ReadBytes(early.size() + late.size(), kDeadline));
  EXPECT_EQ(reader.Received(), early + late);
  EXPECT_TRUE(pty->WaitDrained(kDeadline));
  EXPECT_EQ(pty->DroppedBytes(), 0u);
}

TEST(Pty, CloseMasterHangsUpTheReaderAndRemovesThePath) {
  auto pty = Pty::Open();
  SlaveReader reader(pty->SlavePath());
  ASSERT_TRUE(reader.Opened());
  ASSERT_TRUE(
      pty->Write("\x0C"
                 "abc"));
  ASSERT_TRUE(reader.ReadBytes(4, kDeadline));

  pty->CloseMaster();
  EXPECT_EQ(pty->MasterFd(), -1);
  pollfd p{reader.Fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, static_cast<int>(kDeadline.count())), 1);
  EXPECT_NE(p.revents & POLLHUP, 0);
  char byte;
  const ssize_t n = ::read(reader.Fd(), &byte, 1);
  EXPECT_TRUE(n == 0 || (n < 0 && errno == EIO)) << n;
  struct stat st;
  EXPECT_NE(::stat(pty->SlavePath().c_str(), &st), 0) << "slave path still there";
  EXPECT_FALSE(pty->Write("x"));
  EXPECT_FALSE(pty->WaitDrained(milliseconds(10)));
  pty->CloseMaster();  // twice is fine
}

// Nobody reads: the queue fills, then bytes are dropped instead of blocking.
TEST(Pty, FullQueueDropsBytesInsteadOfBlocking) {
  auto pty = Pty::Open();
  const std::string block(64 * 1024, 'x');
  EXPECT_FALSE(pty->Write(block));
  EXPECT_GT(pty->DroppedBytes(), 0u);
  EXPECT_LT(pty->DroppedBytes(), block.size());
  EXPECT_FALSE(pty->WaitDrained(milliseconds(50)));
}

}  // namespace
}  // namespace korvane::sim
