#include "korvane/app/command_line.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "korvane/app/instance_lock.h"
#include "test_files.h"

namespace korvane::app {
namespace {

using testing::ScopedEnv;
using testing::TempDir;
using testing::WriteFile;

TEST(HasSwitch, MatchesDashOrSlashAndNameInAnyCase) {
  struct Case {
    std::vector<std::string> args;
    bool expected;
  };
  const Case cases[] = {
      {{"korvane-connect", "-minimize"}, true},
      {{"korvane-connect", "/MINIMIZE"}, true},
      {{"korvane-connect", "/Minimize"}, true},
      {{"korvane-connect", "-x", "-MiNiMiZe"}, true},
      {{"korvane-connect", "minimize"}, false},
      {{"korvane-connect", "--minimize"}, false},
      {{"korvane-connect", "//minimize"}, false},
      {{"korvane-connect", "-minimize2"}, false},
      {{"korvane-connect", "-minimiz"}, false},
      {{"korvane-connect", " -minimize"}, false},
      {{"korvane-connect", ""}, false},
      {{"-minimize"}, false},  // the program's own name never counts
      {{}, false},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& arg : c.args) {
      line += "[" + arg + "]";
    }
    EXPECT_EQ(HasSwitch(c.args, "MINIMIZE"), c.expected) << line;
  }
}

TEST(HasSwitch, FillsStartOptions) {
  const ui::StartOptions none = ParseStartOptions({"k", "DEBUG", "--demo", "-other"});
  EXPECT_FALSE(none.Minimize || none.Debug || none.DoSound || none.NoPromptOnClose || none.Demo);

  const ui::StartOptions all =
      ParseStartOptions({"k", "/minimize", "-Debug", "/DOSOUND", "-nopromptonclose", "-demo"});
  EXPECT_TRUE(all.Minimize && all.Debug && all.DoSound && all.NoPromptOnClose && all.Demo);

  const ui::StartOptions some = ParseStartOptions({"k", "-DEMO", "/NoPromptOnClose"});
  EXPECT_FALSE(some.Minimize || some.Debug || some.DoSound);
  EXPECT_TRUE(some.NoPromptOnClose && some.Demo);
}

TEST(CommandLine, FindsHelpAndVersionRequests) {
  EXPECT_EQ(FindInfoRequest({"k"}), InfoRequest::kNone);
  EXPECT_EQ(FindInfoRequest({"--help"}), InfoRequest::kNone);
  EXPECT_EQ(FindInfoRequest({"k", "-help", "/version", "help"}), InfoRequest::kNone);
  EXPECT_EQ(FindInfoRequest({"k", "-DEMO", "--help"}), InfoRequest::kHelp);
  EXPECT_EQ(FindInfoRequest({"k", "--version", "--help"}), InfoRequest::kVersion);
}

TEST(CommandLine, TextsNameTheProgramItsSwitchesAndVersion) {
  const std::string help = HelpText("/usr/bin/korvane-connect");
  EXPECT_TRUE(help.starts_with("Usage: korvane-connect ")) << help;
  for (const char* word : {"-MINIMIZE", "-DEBUG", "-DEMO", "-NOPROMPTONCLOSE", "-DOSOUND", "--help",
                           "--version", "Korvane Connect/korvane-connect.ini"}) {
    EXPECT_NE(help.find(word), std::string::npos) << word;
  }
  EXPECT_EQ(VersionText(), "Korvane Connect " KORVANE_EXPECTED_VERSION "\n");
}

TEST(InstanceLock, SecondLockOnSamePathFailsUntilFirstIsReleased) {
  TempDir dir;
  const std::string path = dir / "Korvane Connect.lock";
  InstanceLock first(path);
  ASSERT_EQ(first.state(), InstanceLock::State::kAcquired);
  {
    InstanceLock second(path);
    EXPECT_EQ(second.state(), InstanceLock::State::kHeldElsewhere);
  }
  first.Release();
  EXPECT_EQ(first.state(), InstanceLock::State::kReleased);
  InstanceLock third(path);
  EXPECT_EQ(third.state(), InstanceLock::State::kAcquired);
}

TEST(InstanceLock, UnusableFolderIsNotTakenForAnotherInstance) {
  TempDir dir;
  WriteFile(dir / "plain", "");
  InstanceLock lock(dir / "plain/Korvane Connect.lock");
  EXPECT_EQ(lock.state(), InstanceLock::State::kUnavailable);
  EXPECT_EQ(lock.error(), ENOTDIR);
}

TEST(InstanceLock, CrashedHolderLeavesNoStaleLock) {
  TempDir dir;
  const std::string path = dir / "Korvane Connect.lock";
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    InstanceLock held(path);
    const char state = held.state() == InstanceLock::State::kAcquired ? 'y' : 'n';
    if (write(ready[1], &state, 1) != 1) {
      _exit(1);
    }
    pause();  // killed below while holding the lock
    _exit(0);
  }
  close(ready[1]);
  char state = 0;
  ASSERT_EQ(read(ready[0], &state, 1), 1);
  close(ready[0]);
  ASSERT_EQ(state, 'y');
  EXPECT_EQ(InstanceLock(path).state(), InstanceLock::State::kHeldElsewhere);

  kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(InstanceLock(path).state(), InstanceLock::State::kAcquired);
}

TEST(InstanceLock, PathIsInRuntimeFolderElsePerUserInTemp) {
  TempDir dir;
  {
    ScopedEnv runtime("XDG_RUNTIME_DIR", dir.path());
    EXPECT_EQ(InstanceLockPath(), dir / "Korvane Connect.lock");
  }
  const std::string per_user = "/Korvane Connect-" + std::to_string(getuid()) + ".lock";
  {
    ScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
    ScopedEnv temp("TMPDIR", dir.path());
    EXPECT_EQ(InstanceLockPath(), dir.path() + per_user);
  }
  {
    ScopedEnv runtime("XDG_RUNTIME_DIR", dir / "missing");
    ScopedEnv temp("TMPDIR", std::nullopt);
    EXPECT_EQ(InstanceLockPath(), "/tmp" + per_user);
  }
}

}  // namespace
}  // namespace korvane::app
