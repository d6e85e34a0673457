// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "korvane/model/date_time.h"
#include "korvane/model/export_file.h"
#include "korvane/sim/pty.h"
#include "korvane/sim/runner.h"
#include "korvane/test_support/piped_child.h"
#include "korvane/test_support/temp_dir.h"

namespace korvane::logger {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using test_support::PipedChild;
using test_support::ReadFile;
using test_support::WriteFile;
using namespace std::chrono_literals;

constexpr milliseconds kDeadline = 30s;

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts(1);
  for (const char c : text) {
    if (c == separator) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++n;
  }
  return n;
}

// A home of its own for each test: settings, default store and everything korvane-log writes.
class KorvaneLog : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return home_ / name; }

  void WriteSettings(const std::string& text) const {
    fs::create_directories(Path("config/Korvane Connect"));
    WriteFile(Path("config/Korvane Connect/korvane-connect.ini"), text);
  }

  std::unique_ptr<PipedChild> Start(std::vector<std::string> args) const {
    args.insert(args.begin(), KORVANE_LOG);
    auto program = std::make_unique<PipedChild>(
        args, std::vector<std::string>{"HOME=" + home_.path(), "XDG_CONFIG_HOME=" + Path("config"),
                                       "XDG_DATA_HOME=" + Path("data"), "LC_ALL=C"});
    EXPECT_TRUE(program->Started());
    return program;
  }

  // Runs to the end; the exit status, or -1 when it did not end in time.
  int Run(std::vector<std::string> args, std::string* out = nullptr,
          std::string* err = nullptr) const {
    std::unique_ptr<PipedChild> program = Start(std::move(args));
    const std::optional<int> status = program->Wait(kDeadline);
    if (out != nullptr) {
      *out = program->Out();
    }
    if (err != nullptr) {
      *err = program->Err();
    }
    return status.value_or(-1);
  }

  test_support::TempDir home_;
};

TEST_F(KorvaneLog, RecordsThePortOfTheSettingsUntilSigtermAndGivesTheRunsBack) {
  auto pty = sim::Pty::Open();
  WriteSettings("[PORTS]\nCOM7=" + pty->SlavePath() + "\n[RECORDING]\nFile=" + Path("kept.sqlite") +
                "\n");
  sim::RunnerOptions pace;
  pace.interval = 50ms;
  sim::Runner charger(*pty, sim::MakeScenario(sim::ScenarioKind::kChargeDischarge, {}), pace);
  charger.Start();

  ASSERT_EQ(
      Run({"pack", "add", "Green", "--chemistry", "LiPo", "--cells", "3", "--capacity", "1000"}),
      0);
  std::unique_ptr<PipedChild> record =
      Start({"record", "--port", "7", "--tsv", "--pack", "2=Green"});
  ASSERT_TRUE(record->ReadUntil(
      [&] { return Count(record->Err(), " began: ") == 2 && Count(record->Out(), "\r\n") > 20; },
      kDeadline))
      << record->Err();
  record->Signal(SIGTERM);
  ASSERT_EQ(record->Wait(kDeadline), 0) << record->Err();
  charger.Stop();
  const std::string tsv = record->Out();
  const std::string& log = record->Err();
  EXPECT_NE(log.find("status: OK\n"), std::string::npos) << log;
  EXPECT_NE(log.find("run 1 began: channel 1, charge\n"), std::string::npos) << log;
  EXPECT_NE(log.find("run 2 began: channel 2, discharge, pack \"Green\"\n"), std::string::npos)
      << log;
  EXPECT_EQ(Count(log, ", Interrupted, "), 2u) << log;
  EXPECT_NE(log.find("stopped (SIGTERM): " + std::to_string(Count(tsv, "\r\n") - 1) +
                     " frames recorded\n"),
            std::string::npos)
      << log;

  std::string runs;
  ASSERT_EQ(Run({"runs"}, &runs), 0);
  const std::vector<std::string> lines = Split(runs, '\n');
  ASSERT_EQ(lines.size(), 4u) << runs;  // the header, two runs and nothing after the last line end
  EXPECT_EQ(lines[0],
            "Run\tChannel\tKind\tStart\tEnd\tDuration\tCapacity [Ah]\tEnergy [Wh]\tPeak "
            "temperature\tEnd state\tFrames\tPack\tIR [mOhm]");
  for (const std::string& line : {lines[1], lines[2]}) {
    const std::vector<std::string> f = Split(line, '\t');
    ASSERT_EQ(f.size(), 13u) << line;
    EXPECT_EQ(f[11], f[1] == "2" ? "Green" : "") << line;
    EXPECT_EQ(f[2], f[1] == "1" ? "charge" : "discharge") << line;
    EXPECT_TRUE(f[5].starts_with("0 h 00 m ")) << line;
    EXPECT_TRUE(f[6].find('.') == f[6].size() - 4 && f[7].find('.') == f[7].size() - 4) << line;
    EXPECT_TRUE(f[8].ends_with("\u00B0C")) << line;
    EXPECT_EQ(f[9], "Interrupted");
    EXPECT_EQ(f[10], std::to_string(Count(tsv, "\r\n") - 1));
  }

  // Both channels ran from the first frame to the last: each run's export is every frame.
  for (const char* id : {"1", "2"}) {
    ASSERT_EQ(Run({"export", id, "-o", Path("run.tsv")}), 0);
    EXPECT_EQ(ReadFile(Path("run.tsv")), tsv) << "run " << id;
  }
  std::string imported;
  ASSERT_EQ(Run({"import", Path("run.tsv"), "--store", Path("copy.sqlite")}, &imported), 0);
  EXPECT_EQ(imported, "imported " + std::to_string(Count(tsv, "\r\n") - 1) +
                          " frames and 2 runs (1, 2) into " + Path("copy.sqlite") + "\n");
  std::string again;
  ASSERT_EQ(Run({"export", "2", "--store", Path("copy.sqlite")}, &again), 0);
  EXPECT_EQ(again, tsv);
}

TEST_F(KorvaneLog, AMissingDeviceIsAStatusAndARetryUntilTheDurationEnds) {
  std::string err;
  ASSERT_EQ(Run({"record", "--device", Path("no-such-tty"), "--store", Path("s.sqlite"),
                 "--duration", "2.5"},
                nullptr, &err),
            0);
  EXPECT_EQ(Count(err, "status: ERROR: unable to open COM port\n"), 1u) << err;
  EXPECT_EQ(Count(err, "status: No such device: is the adapter plugged in? (" +
                           Path("no-such-tty") + ")\n"),
            1u)
      << err;
  EXPECT_EQ(Count(err, "port: 99 -> -"), 1u) << err;
  EXPECT_NE(err.find("stopped (the duration ended): 0 frames recorded\n"), std::string::npos)
      << err;
}

TEST_F(KorvaneLog, BadUsageExitsWithTwoAndSaysWhy) {
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const Case cases[] = {
      {{}, "A subcommand is required"},
      {{"sing"}, "\"sing\" is not a verb"},
      {{"record"}, "[--port,--device]"},
      {{"record", "--port", "1", "--device", "/dev/null"}, "[--port,--device]"},
      {{"record", "--port", "100"}, "--port: Value 100 not in range 1 to 99"},
      {{"record", "--port", "1", "--duration", "0"}, "not a number of seconds above 0"},
      {{"runs", "--bogus"}, "--bogus"},
      {{"export", "x"}, "\"x\" is not a run id"},
      {{"import"}, "FILE is required"},
  };
  for (const Case& c : cases) {
    std::string out;
    std::string err;
    EXPECT_EQ(Run(c.args, &out, &err), 2) << c.says;
    EXPECT_NE(err.find(c.says), std::string::npos) << err;
    EXPECT_EQ(out, "");
  }
  EXPECT_FALSE(fs::exists(Path("data"))) << "bad usage wrote nothing";
}

TEST_F(KorvaneLog, RuntimeFailuresExitWithOneAndImportNothing) {
  std::string err;
  EXPECT_EQ(Run({"runs", "--store", Path("missing.sqlite")}, nullptr, &err), 1);
  EXPECT_EQ(err, "korvane-log: cannot open the recordings file " + Path("missing.sqlite") +
                     ": No such file or directory\n");
  EXPECT_FALSE(fs::exists(Path("missing.sqlite")));

  WriteFile(Path("not-a-folder"), "x");
  EXPECT_EQ(Run({"record", "--device", "/dev/null", "--store", Path("not-a-folder/s.sqlite")},
                nullptr, &err),
            1);
  EXPECT_TRUE(err.starts_with("korvane-log: Cannot use " + Path("not-a-folder"))) << err;

  std::vector<model::S_HARDWARE_DATA> frames(3);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    frames[i].UtcMs = 1'700'000'000'000 + static_cast<std::int64_t>(i) * 1000;
    frames[i].Time = model::StampFromUnixMs(frames[i].UtcMs).Local;
    frames[i].Channels[1].OperationMode = 2;
  }
  WriteFile(Path("good.tsv"), model::ExportText(frames));
  ASSERT_EQ(Run({"import", Path("good.tsv"), "--store", Path("s.sqlite")}), 0);
  EXPECT_EQ(Run({"export", "99", "--store", Path("s.sqlite")}, nullptr, &err), 1);
  EXPECT_EQ(err, "korvane-log: there is no run 99 in " + Path("s.sqlite") + "\n");

  std::string broken = model::ExportText(frames);
  broken.replace(broken.rfind("Discharge (AUTO)"), 9, "Dis");
  WriteFile(Path("broken.tsv"), broken);
  EXPECT_EQ(Run({"import", Path("broken.tsv"), "--store", Path("s.sqlite")}, nullptr, &err), 1);
  EXPECT_EQ(err.rfind("korvane-log: " + Path("broken.tsv") + ": line 4: field 16 ", 0), 0u) << err;
  EXPECT_NE(err.find("; nothing was imported\n"), std::string::npos) << err;
  std::string runs;
  ASSERT_EQ(Run({"runs", "--store", Path("s.sqlite")}, &runs), 0);
  EXPECT_EQ(Count(runs, "\n"), 2u) << runs;
}

}  // namespace
}  // namespace korvane::logger
