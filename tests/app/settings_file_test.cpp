#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <random>
#include <stdexcept>
#include <string>

#include "korvane/app/ini_settings_storage.h"
#include "korvane/app/settings_location.h"
#include "test_files.h"

namespace korvane::app {
namespace {

using testing::ListFolder;
using testing::ReadFile;
using testing::ScopedEnv;
using testing::TempDir;
using testing::WriteFile;

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
  const std::string before =
      "; Korvane Connect\r\n[PORTS]\r\nCOM12 = /dev/pts/7\r\n\r\n[Global]\r\nCommPort=3\r\n"
      "Theme=dark\r\n\r\n[Window]\r\nLeft=10\r\n";
  WriteFile(file, before);
  IniSettingsStorage storage(file);

  EXPECT_EQ(storage.Load().CommPort, 3);
  EXPECT_EQ(storage.PortOverrides(), (std::map<int, std::string>{{12, "/dev/pts/7"}}));
  ASSERT_EQ(SaveError(storage, kChanged), "");

  EXPECT_EQ(ReadFile(file),
            "; Korvane Connect\r\n[PORTS]\r\nCOM12 = /dev/pts/7\r\n\r\n[Global]\r\nCommPort=12\r\n"
            "Theme=dark\r\nChannel=2\r\nChartValuesMask=1023\r\n\r\n[Window]\r\nLeft=10\r\n");
  const ui::WindowSettings loaded = storage.Load();
  EXPECT_EQ(loaded.CommPort, 12);
  EXPECT_EQ(loaded.Channel, 2);
  EXPECT_EQ(loaded.ChartValuesMask, 1023u);
  EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"korvane-connect.ini"});
}

TEST(SettingsFile, FirstRunCreatesFolderAndFileWithDefaults) {
  TempDir dir;
  ScopedEnv config("XDG_CONFIG_HOME", dir / "new/config");
  const SettingsLocation location = PrepareSettingsLocation("/opt/korvane/bin/korvane-connect");
  EXPECT_EQ(location.folder, dir / "new/config/Korvane Connect/");
  EXPECT_EQ(location.file, dir / "new/config/Korvane Connect/korvane-connect.ini");
  struct stat info {};
  ASSERT_EQ(stat(location.folder.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));

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

TEST(SettingsFile, SaveBelowAPlainFileFailsWithNameAndReason) {
  TempDir dir;
  WriteFile(dir / "plain", "contents");
  const std::string file = dir / "plain/Korvane Connect/korvane-connect.ini";
  IniSettingsStorage storage(file);
  EXPECT_EQ(storage.Load().CommPort, 1);
  EXPECT_EQ(SaveError(storage, kChanged), "Unable to write to " + file + ": Not a directory");
  EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"plain"});
  EXPECT_EQ(ReadFile(dir / "plain"), "contents");
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
  EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"k.ini"});
}

TEST(SettingsFile, SaveThroughSymlinkKeepsLinkOwnerAndModeBits) {
  TempDir dir;
  ASSERT_EQ(mkdir((dir / "real").c_str(), 0755), 0);
  WriteFile(dir / "real/k.ini", "[GLOBAL]\nCommPort=5\n");
  ASSERT_EQ(chmod((dir / "real/k.ini").c_str(), 0640), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown((dir / "real/k.ini").c_str(), 4321, 4322), 0);
  }
  ASSERT_EQ(symlink("real/k.ini", (dir / "link.ini").c_str()), 0);

  IniSettingsStorage storage(dir / "link.ini");
  ASSERT_EQ(SaveError(storage, kChanged), "");
  struct stat info {};
  ASSERT_EQ(lstat((dir / "link.ini").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  ASSERT_EQ(stat((dir / "real/k.ini").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(info.st_uid, 4321u);
    EXPECT_EQ(info.st_gid, 4322u);
  }
  EXPECT_EQ(storage.Load().CommPort, 12);
  EXPECT_EQ(ListFolder(dir / "real"), std::vector<std::string>{"k.ini"});
}

TEST(SettingsFile, NonRegularFilesLoadDefaultsAndAreNotReplaced) {
  TempDir dir;
  ASSERT_EQ(mkfifo((dir / "fifo.ini").c_str(), 0600), 0);
  ASSERT_EQ(mkdir((dir / "folder.ini").c_str(), 0755), 0);
  struct Case {
    std::string file;
    std::string reason;
  };
  const Case cases[] = {{dir / "fifo.ini", "Not a regular file"},
                        {dir / "folder.ini", "Is a directory"}};
  for (const Case& c : cases) {
    IniSettingsStorage storage(c.file);
    EXPECT_EQ(storage.Load().CommPort, 1);  // returns at once: a FIFO without writer
    EXPECT_EQ(SaveError(storage, kChanged), "Unable to write to " + c.file + ": " + c.reason);
  }
  struct stat info {};
  ASSERT_EQ(lstat((dir / "fifo.ini").c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"fifo.ini", "folder.ini"}));
}

TEST(SettingsFile, BinaryAndLargeFilesLoadDefaultsAndSurviveASave) {
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
  EXPECT_EQ(loaded.CommPort, 1);
  EXPECT_EQ(loaded.Channel, 1);
  EXPECT_EQ(loaded.ChartValuesMask, 3u);
  EXPECT_TRUE(storage.PortOverrides().empty());

  ASSERT_EQ(SaveError(storage, kChanged), "");
  const std::string after = ReadFile(file);
  EXPECT_EQ(after.substr(0, noise.size()), noise);
  EXPECT_EQ(storage.Load().CommPort, 12);
}

TEST(SettingsFile, OversizedFileIsNeitherReadNorReplaced) {
  TempDir dir;
  const std::string file = dir / "k.ini";
  WriteFile(file, "[GLOBAL]\nCommPort=5\n");
  ASSERT_EQ(truncate(file.c_str(), 65 << 20), 0);  // sparse: cheap
  IniSettingsStorage storage(file);
  EXPECT_EQ(storage.Load().CommPort, 1);
  EXPECT_EQ(SaveError(storage, kChanged), "Unable to write to " + file + ": File too large");
  struct stat info {};
  ASSERT_EQ(stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_size, 65 << 20);
}

}  // namespace
}  // namespace korvane::app
