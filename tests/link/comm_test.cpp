// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/link/comm.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "pty_fixture.h"

namespace korvane::link {
namespace {

using CommTest = testing::PtyFixture;

TEST_F(CommTest, OpenResultCodes) {
  ports_.SetOverride(8, "/dev/korvane-no-such-device");
  ports_.SetOverride(9, "/dev/null");  // opens, but is not a terminal
  const struct {
    int port;
    int code;
    bool held_afterwards;
  } cases[] = {
      {100, kCommPortNumberTooHigh, false},
      {1000, kCommPortNumberTooHigh, false},
      {0, kCommOpenFailed, false},
      {-1, kCommOpenFailed, false},
      {70, kCommOpenFailed, false},  // no default device for 65..99
      {8, kCommOpenFailed, false},
      {9, kCommGetStateFailed, true},  // half-open until Close
      {testing::kPtyPort, kCommOk, true},
  };
  for (const auto& c : cases) {
    TComm comm(ports_);
    std::string reason;
    EXPECT_EQ(comm.Open(c.port, &reason), c.code) << "port " << c.port;
    EXPECT_EQ(comm.IsOpen(), c.held_afterwards) << "port " << c.port;
    EXPECT_EQ(reason.empty(), c.code == kCommOk) << "port " << c.port << ": " << reason;
    EXPECT_EQ(comm.Close(), kCommOk);
    EXPECT_FALSE(comm.IsOpen());
  }
}

TEST_F(CommTest, HalfOpenPortIsReleasedAndALaterOpenSucceeds) {
  ports_.SetOverride(9, "/dev/null");
  TComm comm(ports_);
  ASSERT_EQ(comm.Open(9), kCommGetStateFailed);
  EXPECT_EQ(comm.Close(), kCommOk);
  EXPECT_EQ(comm.Open(testing::kPtyPort), kCommOk);
}

TEST_F(CommTest, CloseTwiceAndNeverOpened) {
  TComm never(ports_);
  EXPECT_EQ(never.Close(), kCommOk);
  TComm comm(ports_);
  ASSERT_EQ(comm.Open(testing::kPtyPort), kCommOk);
  EXPECT_EQ(comm.Close(), kCommOk);
  EXPECT_EQ(comm.Close(), kCommOk);
}

TEST_F(CommTest, PortHeldByAnotherProgramIsRefused) {
  const int other = ::open(pty_->SlavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  TComm comm(ports_);
  std::string reason;
  EXPECT_EQ(comm.Open(testing::kPtyPort, &reason), kCommOpenFailed);
  EXPECT_NE(reason.find("in use"), std::string::npos) << reason;
  EXPECT_FALSE(comm.IsOpen());
  ::close(other);
  EXPECT_EQ(comm.Open(testing::kPtyPort), kCommOk);
}

TEST_F(CommTest, SecondOpenOfTheSamePortIsRefused) {
  TComm first(ports_);
  TComm second(ports_);
  ASSERT_EQ(first.Open(testing::kPtyPort), kCommOk);
  EXPECT_EQ(second.Open(testing::kPtyPort), kCommOpenFailed);
  first.Close();
  EXPECT_EQ(second.Open(testing::kPtyPort), kCommOk);
}

TEST_F(CommTest, LineSettingsAreRaw9600EightNoneOne) {
  TComm comm(ports_);
  ASSERT_EQ(comm.Open(testing::kPtyPort), kCommOk);
  termios tio{};
  ASSERT_EQ(::tcgetattr(comm.Fd(), &tio), 0);
  EXPECT_EQ(::cfgetispeed(&tio), B9600);
  EXPECT_EQ(::cfgetospeed(&tio), B9600);
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_NE(tio.c_cflag & CLOCAL, 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR | IXON | ISTRIP), 0u);
  EXPECT_EQ(tio.c_cc[VMIN], 0);
  EXPECT_EQ(tio.c_cc[VTIME], 0);
}

TEST_F(CommTest, ReadReturnsAtOnceAndPassesEveryByteUnchanged) {
  TComm comm(ports_);
  ASSERT_EQ(comm.Open(testing::kPtyPort), kCommOk);
  char buffer[1024];
  EXPECT_EQ(comm.Read(buffer, sizeof buffer), 0);  // nothing pending: no wait
  const std::string sent("\x0C\x0D\x0A\x00\xFF\x11\x13\x03 data", 13);
  ASSERT_TRUE(pty_->Write(sent));
  std::string received;
  while (received.size() < sent.size() && WaitReadable(comm.Fd())) {
    const int n = comm.Read(buffer, sizeof buffer);
    ASSERT_GE(n, 0);
    received.append(buffer, static_cast<std::size_t>(n));
  }
  EXPECT_EQ(received, sent);
}

TEST_F(CommTest, PurgeDropsPendingInput) {
  TComm comm(ports_);
  ASSERT_EQ(comm.Open(testing::kPtyPort), kCommOk);
  ASSERT_TRUE(pty_->Write("stale bytes"));
  ASSERT_TRUE(WaitReadable(comm.Fd()));
  EXPECT_TRUE(comm.Purge());
  char buffer[64];
  EXPECT_EQ(comm.Read(buffer, sizeof buffer), 0);
}

TEST_F(CommTest, HangUpIsReportedAsSuch) {
  TComm comm(ports_);
  ASSERT_EQ(comm.Open(testing::kPtyPort), kCommOk);
  pty_->CloseMaster();
  ASSERT_TRUE(WaitReadable(comm.Fd()));
  char buffer[64];
  EXPECT_EQ(comm.Read(buffer, sizeof buffer), kCommHungUp);
  EXPECT_EQ(comm.Close(), kCommOk);
  EXPECT_EQ(comm.Open(testing::kPtyPort), kCommOpenFailed);  // the device is gone
}

TEST_F(CommTest, DestructionClosesTheHandle) {
  int fd = -1;
  {
    TComm comm(ports_);
    ASSERT_EQ(comm.Open(testing::kPtyPort), kCommOk);
    fd = comm.Fd();
  }
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
  TComm again(ports_);
  EXPECT_EQ(again.Open(testing::kPtyPort), kCommOk);  // no lock left behind
}

}  // namespace
}  // namespace korvane::link
