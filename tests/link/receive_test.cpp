#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "korvane/link/comm.h"
#include "korvane/link/frame.h"
#include "pty_fixture.h"
#include "test_frames.h"

namespace korvane::link {
namespace {

class ReceiveTest : public testing::PtyFixture {
 protected:
  void SetUp() override {
    PtyFixture::SetUp();
    comm_ = std::make_unique<TComm>(ports_);
    ASSERT_EQ(comm_->Open(testing::kPtyPort), kCommOk);
  }

  // Writes `bytes`, waits for them to arrive, and receives once.
  FrameResult WriteAndReceive(const std::string& bytes) {
    EXPECT_TRUE(pty_->Write(bytes));
    EXPECT_TRUE(WaitReadable(comm_->Fd()));
    bool failed = false;
    FrameResult r = ReceiveFrame(*comm_, lock_, buffer_, payload_, failed);
    EXPECT_FALSE(failed);
    return r;
  }

  std::unique_ptr<TComm> comm_;
  std::mutex lock_;
  std::string buffer_;
  std::string payload_;
};

TEST_F(ReceiveTest, FrameInOneWrite) {
  const std::string payload = testing::MakePayload(5);
  EXPECT_EQ(WriteAndReceive(testing::MakeFrame(payload)), frValid);
  EXPECT_EQ(payload_, payload);
  EXPECT_TRUE(buffer_.empty());
}

TEST_F(ReceiveTest, FrameSplitAcrossWrites) {
  const std::string frame = testing::MakeFrame(testing::MakePayload(6));
  EXPECT_EQ(WriteAndReceive(frame.substr(0, 50)), frNothing);
  EXPECT_EQ(WriteAndReceive(frame.substr(50, 50)), frNothing);
  EXPECT_EQ(WriteAndReceive(frame.substr(100)), frValid);
  EXPECT_EQ(payload_, testing::MakePayload(6));
}

TEST_F(ReceiveTest, NothingPendingIsNothing) {
  bool failed = true;
  EXPECT_EQ(ReceiveFrame(*comm_, lock_, buffer_, payload_, failed), frNothing);
  EXPECT_FALSE(failed);
}

TEST_F(ReceiveTest, HangUpIsReported) {
  pty_->CloseMaster();
  ASSERT_TRUE(WaitReadable(comm_->Fd()));
  bool failed = false;
  EXPECT_EQ(ReceiveFrame(*comm_, lock_, buffer_, payload_, failed), frNothing);
  EXPECT_TRUE(failed);
}

}  // namespace
}  // namespace korvane::link
