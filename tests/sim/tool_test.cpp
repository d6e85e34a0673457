// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "korvane/sim/tool_options.h"
#include "korvane/test_support/piped_child.h"
#include "korvane/test_support/temp_dir.h"
#include "pty_reader.h"
#include "wire_scan.h"

namespace korvane::sim {
namespace {

using std::chrono::milliseconds;
using test_support::PipedChild;
using testing::ScanWire;
using testing::SlaveReader;

constexpr milliseconds kDeadline(10000);

std::vector<std::string> Tool(std::vector<std::string> args) {
  args.insert(args.begin(), KORVANE_CHARGER_SIM);
  return args;
}

TEST(ToolOptions, ParsesValuesAndRejectsBadLines) {
  const ToolParse p = ParseToolOptions(
      {"--device", "/dev/ttyUSB0", "--frames=12", "--interval-ms", "0", "--scenario", "error",
       "--bad-checksum", "5", "--noise", "0.25", "--silence-ms", "4000", "--cell-mohm", "80.5"});
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.device, "/dev/ttyUSB0");
  EXPECT_EQ(p.options.runner.max_frames, 12u);
  EXPECT_EQ(p.options.runner.interval, milliseconds(0));
  EXPECT_EQ(p.options.scenario, ScenarioKind::kError);
  EXPECT_EQ(p.options.runner.faults.bad_checksum.every, 5u);
  EXPECT_DOUBLE_EQ(p.options.runner.faults.noise.probability, 0.25);
  EXPECT_EQ(p.options.runner.faults.silence_time, milliseconds(4000));
  EXPECT_DOUBLE_EQ(p.options.scenario_options.charge.pack.cell_r0_mohm, 80.5);
  EXPECT_DOUBLE_EQ(p.options.scenario_options.discharge.pack.cell_r0_mohm, 80.5);
  EXPECT_EQ(ParseToolOptions({"--pty"}).options.runner.interval, milliseconds(1000));

  const std::vector<std::vector<std::string>> bad = {
      {},
      {"--pty", "--device", "/dev/ttyS0"},
      {"--device", "/dev/ttyS0", "--link", "/tmp/x"},
      {"--pty", "--frames"},
      {"--pty", "--frames", "0"},
      {"--pty", "--frames", "-3"},
      {"--pty", "--interval-ms", "1s"},
      {"--pty", "--scenario", "charge"},
      {"--pty", "--cells", "8"},
      {"--pty", "--cell-mohm", "0"},
      {"--pty", "--noise", "1.5"},
      {"--pty", "--pty=yes"},
      {"--pty", "stray"},
  };
  for (const auto& args : bad) {
    EXPECT_NE(ParseToolOptions(args).error, "") << ::testing::PrintToString(args);
  }
}

TEST(Tool, PtySendsTheRequestedFramesAndExits) {
  PipedChild child(Tool({"--pty", "--frames", "3", "--interval-ms", "0"}));
  const auto path = child.ReadLine(kDeadline);
  ASSERT_TRUE(path.has_value());
  SlaveReader reader(*path);
  ASSERT_TRUE(reader.Opened()) << *path;
  ASSERT_TRUE(
      reader.ReadUntil([](const std::string& r) { return ScanWire(r).Valid() >= 3; }, kDeadline));
  EXPECT_EQ(ScanWire(reader.Received()).frames.size(), 3u);
  EXPECT_EQ(child.Wait(kDeadline), 0);
  EXPECT_NE(child.Err().find("3 frames, 3 valid"), std::string::npos) << child.Err();
}

TEST(Tool, LinkFollowsTheSlaveAndGoesAwayOnSigterm) {
  const test_support::TempDir dir;
  const std::string link = dir / "charger";
  PipedChild child(Tool({"--pty", "--link", link, "--interval-ms", "20"}));
  const auto path = child.ReadLine(kDeadline);
  ASSERT_TRUE(path.has_value());
  EXPECT_EQ(std::filesystem::read_symlink(link), *path);
  SlaveReader reader(link);
  ASSERT_TRUE(
      reader.ReadUntil([](const std::string& r) { return ScanWire(r).Valid() >= 2; }, kDeadline));
  child.Signal(SIGTERM);
  EXPECT_EQ(child.Wait(kDeadline), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

// The tool opens a tty someone else made (here a pty slave with cooked defaults) and sets it raw.
TEST(Tool, DeviceModeWritesToAnExistingTty) {
  const UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  ASSERT_TRUE(master.Valid());
  ASSERT_EQ(::grantpt(master.Get()) | ::unlockpt(master.Get()), 0);
  PipedChild child(
      Tool({"--device", ::ptsname(master.Get()), "--frames", "2", "--interval-ms", "0"}));
  std::string received;
  while (ScanWire(received).frames.size() < 2) {
    pollfd p{master.Get(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, static_cast<int>(kDeadline.count())), 1);
    char buffer[512];
    const ssize_t n = ::read(master.Get(), buffer, sizeof buffer);
    ASSERT_GT(n, 0);
    received.append(buffer, static_cast<std::size_t>(n));
  }
  EXPECT_EQ(ScanWire(received).Valid(), 2) << "no output translation of 0x0D";
  EXPECT_EQ(child.Wait(kDeadline), 0);
}

TEST(Tool, HelpAndBadOptions) {
  struct Case {
    std::vector<std::string> args;
    int code;
    const char* out;
    const char* err;
  };
  for (const Case& c : {Case{{"--help"}, 0, "Usage: korvane-charger-sim", ""},
                        Case{{"--pty", "--bogus"}, 2, "", "unknown option '--bogus'"},
                        Case{{"--frames", "3"}, 2, "", "--device PATH and --pty"},
                        Case{{"--device", "/nonexistent/tty"}, 1, "", "/nonexistent/tty"}}) {
    PipedChild child(Tool(c.args));
    EXPECT_EQ(child.Wait(kDeadline), c.code) << c.args[0];
    EXPECT_NE(child.Out().find(c.out), std::string::npos) << child.Out();
    EXPECT_NE(child.Err().find(c.err), std::string::npos) << child.Err();
  }
}

}  // namespace
}  // namespace korvane::sim
