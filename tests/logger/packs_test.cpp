// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "korvane/model/date_time.h"
#include "korvane/model/export_file.h"
#include "korvane/test_support/piped_child.h"
#include "korvane/test_support/temp_dir.h"

namespace korvane::logger {
namespace {

using namespace std::chrono_literals;

// The pack verbs in the order a user would meet them, each with its exit status and its one
// line: a refusal is exit 1 and one "korvane-log: " line, bad usage exit 2.
TEST(PackVerbs, ExitCodesAndLinesFromAddToDelete) {
  const test_support::TempDir home;
  const std::string store = home / "s.sqlite";
  std::vector<model::S_HARDWARE_DATA> frames(3);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    frames[i].UtcMs = 1'700'000'000'000 + static_cast<std::int64_t>(i) * 1000;
    frames[i].Time = model::StampFromUnixMs(frames[i].UtcMs).Local;
    frames[i].Channels[1].OperationMode = 1;
  }
  const std::string tsv = home / "charge.tsv";
  test_support::WriteFile(tsv, model::ExportText(frames));
  std::string out, err;
  const auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), KORVANE_LOG);
    args.insert(args.end(), {"--store", store});
    test_support::PipedChild program(args, {"HOME=" + home.path(), "LC_ALL=C", "TZ=UTC"});
    const int status = program.Wait(30s).value_or(-1);
    out = program.Out(), err = program.Err();
    return status;
  };

  const std::string blue = "Blue 4S #3";
  const std::vector<std::string> add = {"pack", "add", blue, "--chemistry", "LiPo", "--cells", "4"};
  const auto with = [](std::vector<std::string> args, std::vector<std::string> more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string says;  // on standard output for 0, in the error line otherwise
  };
  const Case cases[] = {
      {with(add, {"--capacity", "0"}), 1, ""},  // the store's text; no store made for it
      {with(add, {"--capacity", "12abc"}), 2, "\"12abc\" is not a capacity in mAh"},
      {{"pack", "add", "x", "--chemistry", "NiMH", "--cells", "-3", "--capacity", "1"}, 2, "-3"},
      {with(add, {"--capacity", "2200"}), 0, "added pack \"" + blue + "\" to " + store},
      {with(add, {"--capacity", "2200"}), 1, ""},  // the name is taken
      {{"pack", "add", "Red", "--chemistry", "LiFePO4", "--cells", "2", "--capacity", "1100"},
       0,
       "added pack \"Red\" to " + store},
      {{"import", tsv, "--pack", "Nope"}, 1, "there is no pack \"Nope\" in " + store},
      {{"import", tsv, "--pack", blue}, 0, "imported 3 frames and 1 run (1) into " + store},
      {{"assign", "1", "Nope"}, 1, "there is no pack \"Nope\" in " + store},
      {{"assign", "9", "Red"}, 1, "there is no run 9 in " + store},
      {{"assign", "1"}, 2, "--none"},
      {{"assign", "1", "Red"}, 0, "run 1 now belongs to pack \"Red\""},
      {{"pack", "delete", "Red"}, 1, ""},  // it has a run
      {{"assign", "1", "--none"}, 0, "run 1 now belongs to no pack"},
      {{"pack", "delete", "Red"}, 0, "deleted pack \"Red\""},
      {{"assign", "1", blue}, 0, "run 1 now belongs to pack \"" + blue + "\""},
      {{"pack", "edit", blue}, 2, "--name"},
      {{"pack", "retire", blue}, 0, "retired pack \"" + blue + "\""},
      {{"record", "--device", "/dev/null", "--pack", "1=Nope"}, 1, "there is no pack \"Nope\""},
      {{"record", "--device", "/dev/null", "--pack", "2=Red", "--no-pack", "2"}, 2, "twice"},
  };
  for (const Case& c : cases) {
    const std::string& shown = c.args[0] + " " + c.args[1];
    ASSERT_EQ(run(c.args), c.status) << shown << "\n" << err;
    if (c.status == 0) {
      EXPECT_EQ(out, c.says + "\n") << shown;
    } else if (c.status == 1) {
      EXPECT_TRUE(err.starts_with("korvane-log: " + c.says)) << shown << "\n" << err;
      EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << shown << "\n" << err;
    } else {
      EXPECT_NE(err.find(c.says), std::string::npos) << shown << "\n" << err;
    }
    if (&c == &cases[0]) {
      EXPECT_FALSE(std::filesystem::exists(store));
    }
  }

  // The run's pack and no IR estimate end its line; the pack's figures take its end as its last
  // use and leave what is not known (an interrupted charge: no capacity, no health) empty.
  ASSERT_EQ(run({"runs"}), 0);
  const std::string line = out.substr(out.find('\n') + 1);
  EXPECT_TRUE(line.ends_with("\t" + blue + "\t\n")) << out;
  const std::string before_duration = line.substr(0, line.find("\t0 h "));
  const std::string end = before_duration.substr(before_duration.rfind('\t') + 1);
  ASSERT_EQ(run({"packs"}), 0);
  const std::string header =
      "Pack\tChemistry\tCells\tRated [mAh]\tRuns\tCycles\tLast used\tLast capacity "
      "[mAh]\tHealth [%]\tIR [mOhm]\tRetired\n";
  EXPECT_EQ(out, header);  // retired: only with --all
  ASSERT_EQ(run({"packs", "--all"}), 0);
  EXPECT_EQ(out, header + blue + "\tLiPo\t4\t2200\t1\t0\t" + end + "\t\t\t\tyes\n");
}

}  // namespace
}  // namespace korvane::logger
