// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "korvane/model/date_time.h"
#include "korvane/model/export_file.h"
#include "korvane/test_support/piped_child.h"
#include "korvane/test_support/temp_dir.h"

namespace korvane::logger {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Outcome {
  int status = -1;
  std::string out, err;
};

// korvane-log import as a user runs it, in a temporary home.
class KorvaneLogImport : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return home_ / name; }

  Outcome Import(std::vector<std::string> args) const {
    args.insert(args.begin(), {KORVANE_LOG, "import"});
    test_support::PipedChild program(args, {"HOME=" + home_.path(), "LC_ALL=C", "TZ=UTC"});
    Outcome outcome;
    outcome.status = program.Wait(30s).value_or(-1);
    outcome.out = program.Out();
    outcome.err = program.Err();
    return outcome;
  }

  // Frames first..last-1 of a charge on channel 2, one a second, as an export file (in
  // November: no clock change in any zone of the test).
  std::string Write(const std::string& name, int first, int last) const {
    std::vector<model::S_HARDWARE_DATA> frames;
    for (int i = first; i < last; ++i) {
      model::S_HARDWARE_DATA& r = frames.emplace_back();
      r.UtcMs = 1'700'000'000'000 + i * 1000;
      r.Time = model::StampFromUnixMs(r.UtcMs).Local;
      r.Channels[1].OperationMode = 1;
    }
    test_support::WriteFile(Path(name), model::ExportText(frames));
    return Path(name);
  }

  test_support::TempDir home_;
};

TEST_F(KorvaneLogImport, SaysWhatWasNewAndCreatesNoStoreForAFileItCannotRead) {
  const std::string store = Path("s.sqlite");
  Outcome missing = Import({Path("missing.tsv"), "--store", store});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err,
            "korvane-log: cannot open " + Path("missing.tsv") + ": No such file or directory\n");
  EXPECT_FALSE(fs::exists(store));

  Outcome zone = Import({Write("a.tsv", 0, 4), "--timezone", "Mars/Olympus", "--store", store});
  EXPECT_EQ(zone.status, 2);
  EXPECT_NE(zone.err.find("\"Mars/Olympus\" is not a time zone"), std::string::npos) << zone.err;

  struct Case {
    std::string file, says;
  };
  const Case cases[] = {
      {Path("a.tsv"), "imported 4 frames and 1 run (1) into " + store},
      {Path("a.tsv"), "nothing new in " + Path("a.tsv") + ": all 4 frames are already in " + store},
      {Write("b.tsv", 2, 7), "imported 3 new frames (2 already there) and 1 run (2) into " + store},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Import({c.file, "--store", store, "--timezone", "Europe/Berlin"});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, c.says + "\n");
  }
}

}  // namespace
}  // namespace korvane::logger
