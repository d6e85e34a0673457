#include "korvane/link/open_failure.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "korvane/link/comm.h"
#include "korvane/test_support/run_in_child.h"
#include "korvane/test_support/temp_dir.h"
#include "pty_fixture.h"

namespace korvane::link {
namespace {

const std::string kNotInGroup =
    "Permission denied: your user is not in the 'dialout' group (sudo adduser $USER dialout, "
    "then log in again)";

TEST(OpenFailure, WordsForEachCause) {
  using enum GroupAccess;
  const struct {
    OpenFailure failure;
    GroupAccess access;
    std::string text;
  } cases[] = {
      {{1, "/dev/a", EACCES, "x"}, kNotMember, kNotInGroup},
      {{1, "/dev/a", EPERM, "x"},
       kNotYetActive,
       "Permission denied: your user is in the 'dialout' group, but this session started before "
       "that (log out and in again)"},
      {{1, "/dev/a", EACCES, "x"},
       kActive,
       "Permission denied: /dev/a refuses your user although it is in the 'dialout' group (check "
       "ls -l /dev/a)"},
      {{1, "/dev/a", ENXIO, "x"},
       kNotMember,
       "No such device: is the adapter plugged in? (/dev/a)"},
      {{1, "/dev/a", EBUSY, "x"}, kNotMember, "Busy: another program has the port open (/dev/a)"},
      {{70, "", 0, "x"},
       kNotMember,
       "COM70 names no device: map it to one in the settings file, section [PORTS] (e.g. "
       "COM70=/dev/ttyUSB0)"},
      {{100, "", 0, "x"}, kNotMember, "Port numbers go up to 99"},
      {{9, "/dev/null", ENOTTY, "/dev/null: not a tty"}, kNotMember, "/dev/null: not a tty"},
      {{1, "/dev/a", 0, ""}, kNotMember, ""},  // opened
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DescribeOpenFailure(c.failure, {"dialout", c.access}), c.text);
  }
}

using OpenFailureTest = testing::PtyFixture;

TEST_F(OpenFailureTest, MissingDeviceAndBusyPortAreTold) {
  ports_.SetOverride(8, "/dev/korvane-missing");
  TComm comm(ports_);
  TComm holder(ports_);
  ASSERT_EQ(holder.Open(testing::kPtyPort), kCommOk);
  const struct {
    int port;
    std::string text;
  } cases[] = {
      {8, "No such device: is the adapter plugged in? (/dev/korvane-missing)"},
      {testing::kPtyPort, "Busy: another program has the port open (" + pty_->SlavePath() + ")"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(comm.Open(c.port), kCommOpenFailed);
    EXPECT_EQ(DescribeOpenFailure(comm.LastFailure()), c.text);
  }
  holder.Close();
  EXPECT_EQ(comm.Open(testing::kPtyPort), kCommOk);
  EXPECT_EQ(DescribeOpenFailure(comm.LastFailure()), "");
}

// Root opens anything: the refusal is met as an ordinary user, in a child.
TEST_F(OpenFailureTest, RefusedDeviceNamesTheGroupToJoin) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "only root can act as another user";
  }
  const test_support::TempDir dir(0755);  // the child reaches the file, which refuses it
  const std::string file = dir / "root-only";
  test_support::WriteFile(file, std::string(1, '\0'));
  ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
  ports_.SetOverride(8, file);
  const auto told = test_support::ErrorInChild(
      [&] {
        TComm comm(ports_);
        comm.Open(8);
        throw std::runtime_error(DescribeOpenFailure(comm.LastFailure()));
      },
      true);
  EXPECT_EQ(told, kNotInGroup);
}

}  // namespace
}  // namespace korvane::link
