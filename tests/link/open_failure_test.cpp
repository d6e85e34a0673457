// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/link/open_failure.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>

#include "korvane/link/comm.h"
#include "korvane/test_support/run_in_child.h"
#include "korvane/test_support/temp_dir.h"
#include "pty_fixture.h"

namespace korvane::link {
namespace {

// The refusal as seen by someone who owns neither the device nor a group that may use it.
std::string AdminOnly(const std::string& path, const std::string& group, const std::string& mode,
                      const std::string& name, bool in_dialout = false) {
  return "Permission denied: " + path + " is owned by 'root' and belongs to group '" + group +
         "' (mode " + mode +
         "), so no group you could join may read and write it: only an administrator can "
         "change its permissions, e.g. with the udev rule SUBSYSTEM==\"tty\", KERNEL==\"" +
         name + "\", GROUP=\"dialout\", MODE=\"0660\" in /etc/udev/rules.d/70-korvane.rules" +
         (in_dialout ? "" : "; then sudo adduser $USER dialout, and log in again");
}

TEST(OpenFailure, WordsForEachCause) {
  using enum GroupAccess;
  const DeviceAccess uucp{.known = true,
                          .owner = "root",
                          .group = "uucp",
                          .mode = 0660,
                          .group_may_use = true,
                          .name = "ttyUSB0"};
  auto with = [&](GroupAccess access, unsigned mode = 0660, bool in_dialout = false) {
    DeviceAccess changed = uucp;
    changed.access = access;
    changed.mode = mode;
    changed.group_may_use = mode == 0660;
    changed.in_serial_group = in_dialout;
    return changed;
  };
  const std::string whose =
      "Permission denied: /dev/a is owned by 'root' and belongs to group "
      "'uucp'";
  const struct {
    OpenFailure failure;
    DeviceAccess access;
    std::string text;
  } cases[] = {
      {{1, "/dev/a", EPERM, "x"},
       with(kNotYetActive),
       whose + ", which may read and write it; your user joined it after this session started: "
               "log out and in again"},
      {{1, "/dev/a", EACCES, "x"},
       with(kActive),
       whose + "; its mode 0660 lets your user read and write it, yet something else refuses "
               "(check getfacl /dev/a and the security policy)"},
      {{1, "/dev/a", EACCES, "x"},
       with(kActive, 0640, true),
       AdminOnly("/dev/a", "uucp", "0640", "ttyUSB0", true)},
      {{1, "/dev/a", EACCES, "x"},
       {},
       "Permission denied: /dev/a cannot be examined either (check the folders on its way with "
       "ls -ld)"},
      {{1, "/dev/a", ENXIO, "x"}, {}, "No such device: is the adapter plugged in? (/dev/a)"},
      {{1, "/dev/a", EBUSY, "x"}, {}, "Busy: another program has the port open (/dev/a)"},
      {{70, "", 0, "x"},
       {},
       "COM70 names no device: map it to one in the settings file, section [PORTS] (e.g. "
       "COM70=/dev/ttyUSB0)"},
      {{100, "", 0, "x"}, {}, "Port numbers go up to 99"},
      {{9, "/dev/null", ENOTTY, "/dev/null: not a tty"}, {}, "/dev/null: not a tty"},
      {{1, "/dev/a", 0, ""}, {}, ""},  // opened
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DescribeOpenFailure(c.failure, c.access), c.text);
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

// Root opens anything: the refusal is met as an ordinary user, in a child, through a link as
// /dev/serial/by-id has them.
TEST_F(OpenFailureTest, RefusedDeviceNamesTheGroupToJoin) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "only root can act as another user";
  }
  const group* uucp_entry = ::getgrnam("uucp");
  ASSERT_NE(uucp_entry, nullptr);
  const gid_t uucp = uucp_entry->gr_gid;
  const test_support::TempDir dir(0755);  // the child reaches the file, which refuses it
  const std::string file = dir / "ttyKV0";
  const std::string link = dir / "by-id-link";
  test_support::WriteFile(file, std::string(1, '\0'));
  std::filesystem::create_symlink(file, link);
  ports_.SetOverride(8, link);
  const struct {
    uid_t owner;
    gid_t group;
    mode_t mode;
    std::string text;
  } cases[] = {
      {0, uucp, 0660,
       "Permission denied: " + link +
           " is owned by 'root' and belongs to group 'uucp', which may read and write it; your "
           "user is not in it: sudo adduser $USER uucp, then log in again"},
      {0, 0, 0600, AdminOnly(link, "root", "0600", "ttyKV0")},
      {0, 0, 0660, AdminOnly(link, "root", "0660", "ttyKV0")},
      {0, uucp, 0640, AdminOnly(link, "uucp", "0640", "ttyKV0")},
      {test_support::kNobody, 0, 0200,
       "Permission denied: " + link +
           " is owned by 'nobody' and belongs to group 'root', but its mode 0200 keeps even you "
           "from reading and writing it: chmod u+rw " +
           link},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(::chown(file.c_str(), c.owner, c.group), 0);
    ASSERT_EQ(::chmod(file.c_str(), c.mode), 0);
    const auto told = test_support::ErrorInChild(
        [&] {
          TComm comm(ports_);
          comm.Open(8);
          throw std::runtime_error(DescribeOpenFailure(comm.LastFailure()));
        },
        true);
    EXPECT_EQ(told, c.text);
  }
}

}  // namespace
}  // namespace korvane::link
