// SPDX-License-Identifier: GPL-3.0-or-later
// The real program under a real X server (Xvfb) and a session manager of the test's own: a
// checkpoint or a cancelled log-off saves the settings and keeps the program running; the end of
// the session closes it without a prompt, saves and exits 0.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "korvane/test_support/child.h"
#include "korvane/test_support/temp_dir.h"
#include "korvane/test_support/x_server.h"
#include "xsmp_manager.h"

namespace korvane::system_test {
namespace {

using namespace std::chrono_literals;
using test_support::Child;
using test_support::Environment;
using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;
using test_support::XServer;

// Generous: a program built with sanitizers starts and stops slowly.
constexpr auto kDeadline = 30s;
// How long a program that should go on running is watched for an exit.
constexpr auto kStillRunning = 1500ms;

// The sanitizer options variable `name` ("NAME=value") with `option` added (a later one wins).
std::string WithOption(const char* name, const std::string& option) {
  const char* options = getenv(name);
  return std::string(name) + "=" + (options != nullptr ? options + (":" + option) : option);
}

class Session : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(settings_.parent_path());
    WriteFile(settings_, kSeed);
  }
  void TearDown() override { program_.reset(); }

  void StartProgram(const XServer& x) {
    program_.emplace(
        std::vector<std::string>{KORVANE_CONNECT},
        Environment({"QT_QPA_PLATFORM=xcb", "DISPLAY=" + x.Display(),
                     "SESSION_MANAGER=" + manager_.NetworkIds(), "HOME=" + dir_.path(),
                     "XDG_CONFIG_HOME=" + (dir_ / "config"), "XDG_DATA_HOME=" + (dir_ / "data"),
                     "XDG_RUNTIME_DIR=" + dir_.path(), "ICEAUTHORITY=" + (dir_ / "iceauthority"),
                     // No session bus: libdbus would start one for the display.
                     "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (dir_ / "no-bus"),
                     // The X libraries copy counted, unterminated strings.
                     WithOption("ASAN_OPTIONS", "intercept_strndup=0"),
                     // Qt's accessibility bridge, on X only, runs a DBus thread
                     // whose uninstrumented libraries share descriptors.
                     WithOption("TSAN_OPTIONS", "ignore_noninstrumented_modules=1")}),
        Log());
  }

  // True when the program is still running after a while of serving the manager.
  bool KeepsRunning() {
    return !manager_.ServeUntil([&] { return !program_->Running(); }, kStillRunning);
  }
  // Serves the manager until the client has answered one more save request.
  bool SaveAnswered(int before) {
    return manager_.ServeUntil([&] { return manager_.heard().saves_done > before; }, kDeadline);
  }
  std::string Settings() const { return ReadFile(settings_); }
  std::string Log() const { return dir_ / "program.log"; }

  static constexpr const char* kSeed = "[GLOBAL]\nCommPort=70\n";
  TempDir dir_;
  std::filesystem::path settings_ = dir_ / "config/Korvane Connect/korvane-connect.ini";
  XsmpManager manager_;
  std::optional<Child> program_;
};

TEST_F(Session, CheckpointKeepsTheProgramRunningAndTheSessionEndClosesIt) {
  XServer x(dir_ / "xvfb.log");
  ASSERT_TRUE(x.Up()) << "no X server (is Xvfb installed?): " << ReadFile(dir_ / "xvfb.log");
  StartProgram(x);
  // Registered, and its window shown (so it has connected to the save requests).
  ASSERT_TRUE(manager_.ServeUntil(
      [&] { return manager_.heard().registered && x.ShownWindows() > 0; }, kDeadline))
      << ReadFile(Log());
  EXPECT_EQ(Settings(), kSeed);

  // Checkpoint. Qt asks the program to commit its data for a global save only (types Global and
  // Both); a local one asks for the restart state alone.
  int done = manager_.heard().saves_done;
  ASSERT_TRUE(manager_.SaveYourself(SmSaveBoth, false, SmInteractStyleNone, false));
  ASSERT_TRUE(SaveAnswered(done)) << ReadFile(Log());
  EXPECT_TRUE(manager_.heard().last_save_succeeded);
  manager_.SaveComplete();
  EXPECT_NE(Settings().find("Channel="), std::string::npos) << Settings();
  EXPECT_NE(Settings().find("ChartValuesMask="), std::string::npos) << Settings();
  ASSERT_TRUE(KeepsRunning()) << "a checkpoint ended the program: " << ReadFile(Log());

  // A log-off that is then cancelled.
  done = manager_.heard().saves_done;
  ASSERT_TRUE(manager_.SaveYourself(SmSaveBoth, true, SmInteractStyleNone, false));
  ASSERT_TRUE(SaveAnswered(done)) << ReadFile(Log());
  ASSERT_TRUE(manager_.ShutdownCancelled());
  ASSERT_TRUE(KeepsRunning()) << "a cancelled log-off ended the program: " << ReadFile(Log());

  // The end of the session: the close saves again (the file is gone before it).
  done = manager_.heard().saves_done;
  ASSERT_TRUE(manager_.SaveYourself(SmSaveBoth, true, SmInteractStyleNone, false));
  ASSERT_TRUE(SaveAnswered(done)) << ReadFile(Log());
  std::filesystem::remove(settings_);
  ASSERT_TRUE(manager_.Die());
  EXPECT_TRUE(manager_.ServeUntil([&] { return !program_->Running(); }, kDeadline))
      << "still running after the session ended; windows shown: " << x.ShownWindows() << "\n"
      << ReadFile(Log());
  EXPECT_EQ(program_->ExitCode(), 0) << ReadFile(Log());
  EXPECT_NE(Settings().find("ChartValuesMask="), std::string::npos) << Settings();
  EXPECT_EQ(manager_.heard().interact_requests, 0);
  EXPECT_TRUE(manager_.heard().errors.empty()) << manager_.heard().errors.front();
}

}  // namespace
}  // namespace korvane::system_test
