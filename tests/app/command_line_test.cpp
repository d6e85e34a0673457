// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/app/command_line.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "korvane/app/instance_lock.h"
#include "korvane/test_support/temp_dir.h"
#include "scoped_env.h"

namespace korvane::app {
namespace {

using test_support::TempDir;
using test_support::WriteFile;
using testing::ScopedEnv;

TEST(HasSwitch, MatchesDashOrSlashAndNameInAnyCase) {
  const std::pair<std::string, bool> cases[] = {
      {"-minimize", true}, {"/MINIMIZE", true},   {"/Minimize", true},   {"-MiNiMiZe", true},
      {"minimize", false}, {"--minimize", false}, {"//minimize", false}, {"-minimize2", false},
      {"-minimiz", false}, {" -minimize", false}, {"", false},
  };
  for (const auto& [arg, expected] : cases) {
    EXPECT_EQ(HasSwitch({"korvane-connect", "-x", arg}, "MINIMIZE"), expected) << '"' << arg << '"';
  }
  EXPECT_FALSE(HasSwitch({"-minimize"}, "MINIMIZE"));  // the program's own name never counts
  EXPECT_FALSE(HasSwitch({}, "MINIMIZE"));
}

TEST(HasSwitch, FillsStartOptions) {
  const auto fields = [](const ui::StartOptions& o) {
    return std::vector<bool>{o.Minimize, o.Debug, o.DoSound, o.NoPromptOnClose, o.Demo};
  };
  EXPECT_EQ(fields(ParseStartOptions({"k", "DEBUG", "--demo", "-other"})),
            std::vector<bool>(5, false));
  EXPECT_EQ(fields(ParseStartOptions({"k", "-DEMO", "/NoPromptOnClose"})),
            (std::vector<bool>{false, false, false, true, true}));
  EXPECT_EQ(fields(ParseStartOptions({"k", "/minimize", "-Debug", "/DOSOUND"})),
            (std::vector<bool>{true, true, true, false, false}));
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

TEST(InstanceLock, UnusableFolderIsNotTakenForAnotherInstance) {
  TempDir dir;
  WriteFile(dir / "plain", "");
  InstanceLock lock(dir / "plain/Korvane Connect.lock");
  EXPECT_EQ(lock.state(), InstanceLock::State::kUnavailable);
  EXPECT_EQ(lock.error(), ENOTDIR);
}

// Held by another process until it releases the lock or dies: a crash leaves no stale lock.
TEST(InstanceLock, HeldElsewhereUntilReleasedOrTheHolderDies) {
  TempDir dir;
  const std::string path = dir / "Korvane Connect.lock";
  {
    InstanceLock first(path);
    ASSERT_EQ(first.state(), InstanceLock::State::kAcquired);
    EXPECT_EQ(InstanceLock(path).state(), InstanceLock::State::kHeldElsewhere);
    first.Release();
    EXPECT_EQ(first.state(), InstanceLock::State::kReleased);
  }
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
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  EXPECT_EQ(InstanceLock(path).state(), InstanceLock::State::kAcquired);
}

TEST(InstanceLock, PathIsInRuntimeFolderElsePerUserInTemp) {
  TempDir dir;
  const std::string per_user = "/Korvane Connect-" + std::to_string(getuid()) + ".lock";
  struct Case {
    std::optional<std::string> runtime;
    std::optional<std::string> temp;
    std::string path;
  };
  const Case cases[] = {{dir.path(), "/elsewhere", dir / "Korvane Connect.lock"},
                        {std::nullopt, dir.path(), dir.path() + per_user},
                        {dir / "missing", std::nullopt, "/tmp" + per_user}};
  for (const Case& c : cases) {
    ScopedEnv runtime("XDG_RUNTIME_DIR", c.runtime);
    ScopedEnv temp("TMPDIR", c.temp);
    EXPECT_EQ(InstanceLockPath(), c.path);
  }
}

}  // namespace
}  // namespace korvane::app
