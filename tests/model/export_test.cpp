// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/model/export_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "korvane/model/hardware_data.h"
#include "korvane/test_support/run_in_child.h"
#include "korvane/test_support/temp_dir.h"
#include "test_support.h"

namespace korvane::model {
namespace {

namespace fs = std::filesystem;

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

const char kHeader[] =
    "Time\tOperation Mode (1)\tCycle Number (1)\tInput Voltage (1)\tOutput Voltage (1)\t"
    "Output Current (1)\tOutput Capacity (1)\tTemperature (1)\tCell Voltage 1 (1)\t"
    "Cell Voltage 2 (1)\tCell Voltage 3 (1)\tCell Voltage 4 (1)\tCell Voltage 5 (1)\t"
    "Cell Voltage 6 (1)\tCell Voltage 7 (1)\tOperation Mode (2)\tCycle Number (2)\t"
    "Input Voltage (2)\tOutput Voltage (2)\tOutput Current (2)\tOutput Capacity (2)\t"
    "Temperature (2)\tCell Voltage 1 (2)\tCell Voltage 2 (2)\tCell Voltage 3 (2)\t"
    "Cell Voltage 4 (2)\tCell Voltage 5 (2)\tCell Voltage 6 (2)\tCell Voltage 7 (2)\r\n";

TEST(ExportFormat, HeaderAndALineInTheCLocaleAndWithADecimalComma) {
  EXPECT_EQ(ExportHeaderLine(), kHeader);
  S_HARDWARE_DATA r;
  r.Time = EncodeDateTime({2026, 12, 8, 14, 5, 9, 0});
  r.Channels[0] = {
      12000, 1, 4, 3, 8000, 3000, 1500, 250, 1, 0, {4100, 4101, 4102, 4103, 4104, 4105, 4106}};
  r.Channels[1] = {65535, 4, 0, 255, 0, 1, 999, 55, 0, 1, {0, 0, 0, 0, 0, 0, 3300}};
  {
    testing::ScopedLocale locale("C");
    EXPECT_EQ(ExportLine(r),
              "12/08/26 14:05:09\tCharge (CC-CV)\t3\t12.000\t8.000\t3.000\t1.500\t25.0\t"
              "4.100\t4.101\t4.102\t4.103\t4.104\t4.105\t4.106\t"
              "Pause Time (TOO HOT)\t255\t65.535\t0.000\t0.001\t0.999\t-5.5\t"
              "0.000\t0.000\t0.000\t0.000\t0.000\t0.000\t3.300\r\n");
  }
  testing::ScopedLocale locale("de_DE.UTF-8");
  ASSERT_TRUE(locale.Ok()) << "de_DE.UTF-8 missing: run `make deps`";
  EXPECT_EQ(ExportLine(r),
            "08.12.2026 14:05:09\tCharge (CC-CV)\t3\t12,000\t8,000\t3,000\t1,500\t25,0\t"
            "4,100\t4,101\t4,102\t4,103\t4,104\t4,105\t4,106\t"
            "Pause Time (TOO HOT)\t255\t65,535\t0,000\t0,001\t0,999\t-5,5\t"
            "0,000\t0,000\t0,000\t0,000\t0,000\t0,000\t3,300\r\n");
}

class ModelExportTest : public ::testing::Test {
 protected:
  testing::ManualClock clock;
  testing::FakeView view;
  testing::FakeChart chart;
  THardwareData model{view, chart, 1, 511, [this] { return clock.now; }};
  TempDir dir;
};

TEST_F(ModelExportTest, EmptyHistoryGivesTheHeaderOnly) {
  model.ExportData(dir / "empty.tsv");
  EXPECT_EQ(ReadFile(dir / "empty.tsv"), kHeader);
}

TEST_F(ModelExportTest, WritesEveryEntryAndReplacesAnExistingFile) {
  testing::ScopedLocale locale("C");
  const std::string file = dir / "run.tsv";
  WriteFile(file, std::string(100000, 'x'));
  ::chmod(file.c_str(), 0640);
  for (unsigned i = 0; i < 5; ++i) {
    model.Decode(testing::ModePayload(i % 2 == 0 ? 1 : 2, 0, i));  // a new run every frame
    clock.AdvanceMs(1000);
  }
  model.ResetChart();
  model.ExportData(file);
  std::string expected = kHeader;
  for (const S_HARDWARE_DATA& r : model.CopyHistory()) {
    expected += ExportLine(r);
  }
  EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), 6);
  EXPECT_EQ(ReadFile(file), expected);
  EXPECT_EQ(fs::status(file).permissions(), fs::perms(0640));
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"run.tsv"});
}

// Below a plain file (no folder can be written there, even by root), and onto a full device.
TEST_F(ModelExportTest, FailureNamesFileAndReasonAndKeepsWhatWasThere) {
  model.Decode(testing::ModePayload(1, 1));
  WriteFile(dir / "plain", "not a folder");
  const std::pair<std::string, std::string> cases[] = {{dir / "plain/out.tsv", "Not a directory"},
                                                       {"/dev/full", "No space left on device"}};
  for (const auto& [file, reason] : cases) {
    try {
      model.ExportData(file);
      ADD_FAILURE() << "no exception for " << file;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot write the file \"" + file + "\": " + reason);
    }
  }
  EXPECT_EQ(ReadFile(dir / "plain"), "not a folder");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"plain"});
  EXPECT_TRUE(fs::is_character_file("/dev/full"));  // written in place, never replaced
}

// A FIFO without a reader would hold the window in open() for ever.
TEST_F(ModelExportTest, AFifoIsRefusedWithoutWaitingForAReader) {
  const std::string fifo = dir / "pipe.tsv";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(test_support::ErrorInChild([&] { model.ExportData(fifo); }),
            "Cannot write the file \"" + fifo + "\": Not a regular file");
  EXPECT_TRUE(fs::is_fifo(fifo));
}

// In a folder only root may write, an ordinary user's own file is written in place, as a shell
// redirect would; a file the user may not write stays as it was.
TEST(ExportAsOrdinaryUser, OwnFileInAFolderOfRootsIsWrittenInPlace) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "needs root to act as another user";
  }
  TempDir dir(0755);
  const std::string own = dir / "own.tsv";
  const std::string roots = dir / "roots.tsv";
  WriteFile(own, std::string(1000, 'x'));
  ASSERT_EQ(::chown(own.c_str(), test_support::kNobody, test_support::kNobody), 0);
  WriteFile(roots, "root's");
  const auto export_as_nobody = [](const std::string& file) {
    return test_support::ErrorInChild([&] { WriteExportFile(file, {}); }, true);
  };
  EXPECT_EQ(export_as_nobody(own), "");
  EXPECT_EQ(ReadFile(own), kHeader);
  EXPECT_EQ(export_as_nobody(roots), "Cannot write the file \"" + roots + "\": Permission denied");
  EXPECT_EQ(ReadFile(roots), "root's");
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"own.tsv", "roots.tsv"}));
}

}  // namespace
}  // namespace korvane::model
