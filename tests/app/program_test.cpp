// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "korvane/app/file_access.h"
#include "korvane/app/instance_lock.h"
#include "korvane/test_support/temp_dir.h"
#include "korvane/test_support/wait.h"
#include "scoped_env.h"

namespace korvane::app {
namespace {

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WaitUntil;
using test_support::WriteFile;
using testing::ScopedEnv;

constexpr auto kDeadline = std::chrono::seconds(20);

// The built program, started with its own runtime and configuration folders.
class Program : public ::testing::Test {
 protected:
  // Starts it in the background, its standard output going to dir_/stdout and its standard
  // error to dir_/<err_name>.
  pid_t Start(std::vector<std::string> args, const std::string& err_name = "stderr") {
    args.insert(args.begin(), KORVANE_CONNECT);
    std::vector<char*> argv;
    for (std::string& arg : args) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const std::string out = dir_ / "stdout";
    const std::string err = dir_ / err_name;
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
      dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
      execv(argv[0], argv.data());
      _exit(127);
    }
    return pid;
  }

  // The exit code, or -1 when the program did not end in time (it is then killed).
  static int ExitCode(pid_t pid) {
    int status = 0;
    if (!WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, kDeadline)) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string LockPath() const { return dir_ / "Korvane Connect.lock"; }
  std::string SettingsPath() const { return dir_ / "config/Korvane Connect/korvane-connect.ini"; }

  TempDir dir_;
  ScopedEnv runtime_{"XDG_RUNTIME_DIR", dir_.path()};
  ScopedEnv config_{"XDG_CONFIG_HOME", dir_ / "config"};
  ScopedEnv home_{"HOME", dir_.path()};
  ScopedEnv platform_{"QT_QPA_PLATFORM", "offscreen"};
};

TEST_F(Program, HelpAndVersionExitAtOnce) {
  EXPECT_EQ(ExitCode(Start({"--version"})), 0);
  EXPECT_EQ(ReadFile(dir_ / "stdout"), "Korvane Connect " KORVANE_EXPECTED_VERSION "\n");
  EXPECT_EQ(ExitCode(Start({"-DEMO", "--help"})), 0);
  EXPECT_TRUE(ReadFile(dir_ / "stdout").starts_with("Usage: korvane-connect "));
  EXPECT_EQ(InstanceLock(LockPath()).state(), InstanceLock::State::kAcquired);
  EXPECT_EQ(ReadFile(SettingsPath()), "");
}

TEST_F(Program, TerminationSignalSavesSettingsAndReleasesTheLock) {
  ASSERT_TRUE(MakeDirectories(dir_ / "config/Korvane Connect"));
  WriteFile(SettingsPath(), "[PORTS]\nCOM3=/dev/null\n\n[GLOBAL]\nChannel=2\n");
  const pid_t pid = Start({"-NOPROMPTONCLOSE"});
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(WaitUntil(
      [&] { return InstanceLock(LockPath()).state() == InstanceLock::State::kHeldElsewhere; },
      kDeadline));
  kill(pid, SIGTERM);
  EXPECT_EQ(ExitCode(pid), 0);
  EXPECT_EQ(ReadFile(SettingsPath()),
            "[PORTS]\nCOM3=/dev/null\n\n[GLOBAL]\nChannel=2\nCommPort=1\nChartValuesMask=3\n");
  EXPECT_EQ(InstanceLock(LockPath()).state(), InstanceLock::State::kAcquired);
}

TEST_F(Program, SecondInstanceIsRefusedAndTheFirstGoesOn) {
  const pid_t first = Start({"-NOPROMPTONCLOSE"});
  ASSERT_TRUE(WaitUntil(
      [&] { return InstanceLock(LockPath()).state() == InstanceLock::State::kHeldElsewhere; },
      kDeadline));
  const pid_t second = Start({"-NOPROMPTONCLOSE"}, "second.err");
  // The refusal is shown in a box that waits for a click; stderr says it as well.
  EXPECT_TRUE(WaitUntil(
      [&] {
        return ReadFile(dir_ / "second.err").find("Application is already running!") !=
               std::string::npos;
      },
      kDeadline));
  kill(second, SIGTERM);  // ends the box's loop as a log-off would
  EXPECT_EQ(ExitCode(second), 0);
  int status = 0;
  EXPECT_EQ(waitpid(first, &status, WNOHANG), 0);  // the first instance is undisturbed
  EXPECT_EQ(InstanceLock(LockPath()).state(), InstanceLock::State::kHeldElsewhere);
  kill(first, SIGTERM);
  EXPECT_EQ(ExitCode(first), 0);
}

}  // namespace
}  // namespace korvane::app
