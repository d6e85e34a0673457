// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>

#include "korvane/app/ini_settings_storage.h"
#include "korvane/app/settings_location.h"
#include "korvane/test_support/run_in_child.h"
#include "korvane/test_support/temp_dir.h"
#include "scoped_env.h"

namespace korvane::app {
namespace {

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;
using testing::ScopedEnv;

const ui::WindowSettings kChanged{12, 2, 1023};

// The message a failed save gives, or "" when it succeeds.
std::string SaveError(IniSettingsStorage& storage, const ui::WindowSettings& settings) {
  try {
    storage.Save(settings);
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return "";
}

TEST(SettingsFile, SaveKeepsEverythingElseByteForByte) {
  TempDir dir;
  const std::string file = dir / "korvane-connect.ini";
  WriteFile(file,
            "; Korvane Connect\r\n[PORTS]\r\nCOM12 = /dev/pts/7\r\n\r\n[Global]\r\nCommPort=3\r\n"
            "Theme=dark\r\n\r\n[Window]\r\nLeft=10\r\n");
  IniSettingsStorage storage(file);

  EXPECT_EQ(storage.Load().CommPort, 3);
  EXPECT_EQ(storage.PortOverrides(), (std::map<int, std::string>{{12, "/dev/pts/7"}}));
  ASSERT_EQ(SaveError(storage, kChanged), "");

  EXPECT_EQ(ReadFile(file),
            "; Korvane Connect\r\n[PORTS]\r\nCOM12 = /dev/pts/7\r\n\r\n[Global]\r\nCommPort=12\r\n"
            "Theme=dark\r\nChannel=2\r\nChartValuesMask=1023\r\n\r\n[Window]\r\nLeft=10\r\n");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"korvane-connect.ini"});
}

TEST(SettingsFile, FirstRunCreatesFolderAndFileWithDefaults) {
  TempDir dir;
  ScopedEnv config("XDG_CONFIG_HOME", dir / "new/config");
  const SettingsLocation location = PrepareSettingsLocation("/opt/korvane/bin/korvane-connect");
  EXPECT_EQ(location.folder, dir / "new/config/Korvane Connect/");
  EXPECT_EQ(location.file, dir / "new/config/Korvane Connect/korvane-connect.ini");
  EXPECT_TRUE(std::filesystem::is_directory(location.folder));
  IniSettingsStorage storage(location.file);
  const ui::WindowSettings loaded = storage.Load();
  ASSERT_EQ(SaveError(storage, loaded), "");
  EXPECT_EQ(ReadFile(location.file), "[GLOBAL]\nCommPort=1\nChannel=1\nChartValuesMask=3\n");
}

TEST(SettingsFile, SettingsPathFollowsEnvironmentAndExecutableName) {
  TempDir dir;
  WriteFile(dir / "plain", "not a folder");
  struct Case {
    std::optional<std::string> xdg;
    std::optional<std::string> home;
    std::string executable;
    std::string file;
  };
  const Case cases[] = {
      {dir / "xdg", dir / "home", "/usr/bin.d/korvane-connect",
       dir / "xdg/Korvane Connect/korvane-connect.ini"},
      {std::nullopt, dir / "home", "/x/KorvaneConnect.exe",
       dir / "home/.config/Korvane Connect/KorvaneConnect.ini"},
      {"", dir / "home", "/x/Renamed.Copy.bin",
       dir / "home/.config/Korvane Connect/Renamed.Copy.ini"},
      {"relative/config", dir / "home", "/x/.k", dir / "home/.config/Korvane Connect/.k.ini"},
      // No configuration folder can be created: the executable's folder.
      {dir / "plain/xdg", dir / "plain/home", dir / "bin/korvane-connect",
       dir / "bin/korvane-connect.ini"},
  };
  for (const Case& c : cases) {
    ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
    ScopedEnv home("HOME", c.home);
    EXPECT_EQ(PrepareSettingsLocation(c.executable).file, c.file) << c.executable;
  }
}

TEST(SettingsFile, FailedWriteKeepsOldFileAndLeavesNoTemporary) {
  TempDir dir;
  const std::string file = dir / "k.ini";
  const std::string before = "[GLOBAL]\nCommPort=5\n; " + std::string(100, 'x') + "\n";
  WriteFile(file, before);
  // The child may write at most 16 bytes per file, so the new contents cannot be written.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{16, 16};
    setrlimit(RLIMIT_FSIZE, &limit);
    IniSettingsStorage storage(file);
    const std::string error = SaveError(storage, kChanged);
    _exit(error == "Unable to write to " + file + ": File too large" ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadFile(file), before);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"k.ini"});
}

TEST(SettingsFile, SaveThroughSymlinkKeepsLinkOwnerAndModeBits) {
  TempDir dir;
  const std::string real = dir / "k.ini";
  WriteFile(real, "[GLOBAL]\nCommPort=5\n");
  ASSERT_EQ(chmod(real.c_str(), 0640), 0);
  ASSERT_EQ(chown(real.c_str(), 4321, 4322), geteuid() == 0 ? 0 : -1);
  ASSERT_EQ(symlink("k.ini", (dir / "link.ini").c_str()), 0);
  IniSettingsStorage storage(dir / "link.ini");
  ASSERT_EQ(SaveError(storage, kChanged), "");
  struct stat info {};
  ASSERT_EQ(stat(real.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(info.st_uid, geteuid() == 0 ? 4321u : geteuid());
  EXPECT_EQ(ReadFile(dir / "link.ini"), ReadFile(real));
  EXPECT_EQ(storage.Load().CommPort, 12);
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"k.ini", "link.ini"}));
}

// Root may write any file, so the saves run as an ordinary user. A file the user may not write
// is never replaced, however writable its folder; one the user may write stays where it is when
// its folder is not writable (the save stays atomic or fails).
TEST(SettingsFile, FileAnOrdinaryUserMayNotReplaceIsLeftAsItWas) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "needs root to act as another user";
  }
  using test_support::kNobody;
  struct Case {
    uid_t folder_owner;
    mode_t file_mode;
  };
  for (const Case c : {Case{kNobody, 0444}, Case{0, 0644}}) {
    TempDir dir;
    const std::string file = dir / "k.ini";
    const std::string before = "[GLOBAL]\nCommPort=5\n";
    WriteFile(file, before);
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(chown(dir.path().c_str(), c.folder_owner, c.folder_owner), 0);
    ASSERT_EQ(chown(file.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chmod(file.c_str(), c.file_mode), 0);
    struct stat old {};
    ASSERT_EQ(stat(file.c_str(), &old), 0);

    const auto error =
        test_support::ErrorInChild([&file] { IniSettingsStorage(file).Save(kChanged); }, true);
    EXPECT_EQ(error, "Unable to write to " + file + ": Permission denied");
    struct stat now {};
    ASSERT_EQ(stat(file.c_str(), &now), 0);
    EXPECT_EQ(std::tuple(now.st_ino, now.st_mode), std::tuple(old.st_ino, old.st_mode));
    EXPECT_EQ(ReadFile(file), before);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"k.ini"});
  }
}

// Each loads the defaults at once (a FIFO without writer too), and a save fails with the name
// and the reason and changes nothing.
TEST(SettingsFile, UnusableTargetsLoadDefaultsAndAreLeftAlone) {
  TempDir dir;
  WriteFile(dir / "plain", "contents");
  ASSERT_EQ(mkfifo((dir / "fifo.ini").c_str(), 0600), 0);
  ASSERT_EQ(mkdir((dir / "folder.ini").c_str(), 0755), 0);
  WriteFile(dir / "big.ini", "[GLOBAL]\nCommPort=5\n");
  ASSERT_EQ(truncate((dir / "big.ini").c_str(), 65 << 20), 0);  // sparse: cheap
  const std::pair<std::string, std::string> cases[] = {
      {dir / "plain/Korvane Connect/korvane-connect.ini", "Not a directory"},
      {dir / "fifo.ini", "Not a regular file"},
      {dir / "folder.ini", "Is a directory"},
      {dir / "big.ini", "File too large"}};
  for (const auto& [file, reason] : cases) {
    IniSettingsStorage storage(file);
    EXPECT_EQ(storage.Load().CommPort, 1) << file;
    EXPECT_EQ(SaveError(storage, kChanged), "Unable to write to " + file + ": " + reason);
  }
  EXPECT_EQ(ReadFile(dir / "plain"), "contents");
  EXPECT_TRUE(std::filesystem::is_fifo(dir / "fifo.ini"));
  EXPECT_EQ(std::filesystem::file_size(dir / "big.ini"), 65u << 20);
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"big.ini", "fifo.ini", "folder.ini", "plain"}));
}

TEST(SettingsFile, BinaryTenMegabyteFileLoadsDefaultsAndSurvivesASave) {
  TempDir dir;
  const std::string file = dir / "k.ini";
  std::mt19937 random(5);
  std::string noise(10u << 20, '\0');
  for (char& c : noise) {
    c = static_cast<char>(random() & 0xFF);
  }
  WriteFile(file, noise);
  IniSettingsStorage storage(file);
  const ui::WindowSettings loaded = storage.Load();
  EXPECT_EQ(std::tuple(loaded.CommPort, loaded.Channel, loaded.ChartValuesMask),
            std::tuple(1, 1, 3u));
  ASSERT_EQ(SaveError(storage, kChanged), "");
  EXPECT_EQ(ReadFile(file).substr(0, noise.size()), noise);
  EXPECT_EQ(storage.Load().CommPort, 12);
}

}  // namespace
}  // namespace korvane::app
