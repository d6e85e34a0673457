// SPDX-License-Identifier: GPL-3.0-or-later
#include <SQLiteCpp/Database.h>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "korvane/model/date_time.h"
#include "korvane/model/export_file.h"
#include "korvane/test_support/piped_child.h"
#include "korvane/test_support/temp_dir.h"

namespace korvane::logger {
namespace {

using namespace std::chrono_literals;

class StoreRepair : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return home_ / name; }

  // Runs korvane-log to the end: its exit status (-1 when it did not end in time) and output.
  int Run(std::vector<std::string> args, std::string& out, std::string& err) const {
    args.insert(args.begin(), KORVANE_LOG);
    test_support::PipedChild program(args,
                                     {"HOME=" + home_.path(), "XDG_CONFIG_HOME=" + Path("config"),
                                      "XDG_DATA_HOME=" + Path("data"), "LC_ALL=C"});
    const std::optional<int> status = program.Wait(30s);
    out = program.Out();
    err = program.Err();
    return status.value_or(-1);
  }

  test_support::TempDir home_;
};

// A store with one page of its frames overwritten: check says so and exits 1, salvage copies the
// rest into a new file that checks sound, and never replaces an existing file.
TEST_F(StoreRepair, CheckFindsADamagedPageAndSalvageCopiesTheRest) {
  std::vector<model::S_HARDWARE_DATA> frames(3000);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    frames[i].UtcMs = 1'700'000'000'000 + static_cast<std::int64_t>(i) * 1000;
    frames[i].Time = model::StampFromUnixMs(frames[i].UtcMs).Local;
    frames[i].Channels[1].OperationMode = 2;
  }
  test_support::WriteFile(Path("frames.tsv"), model::ExportText(frames));
  const std::string store = Path("s.sqlite");
  std::string out;
  std::string err;
  ASSERT_EQ(Run({"import", Path("frames.tsv"), "--store", store}, out, err), 0) << err;
  ASSERT_EQ(Run({"check", "--store", store}, out, err), 0) << err;
  EXPECT_EQ(out, store + " is sound: 1 run, 3000 frames\n");

  {
    SQLite::Database raw(store);
    const std::int64_t size = raw.execAndGet("PRAGMA page_size").getInt64();
    const std::int64_t page =
        raw.execAndGet(
               "SELECT pageno FROM dbstat WHERE name = 'frames' AND pagetype = 'leaf' "
               "ORDER BY pageno LIMIT 1 OFFSET 10")
            .getInt64();
    std::fstream file(store, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp((page - 1) * size);
    file << std::string(static_cast<std::size_t>(size), '\x5a');
  }
  EXPECT_EQ(Run({"check", "--store", store}, out, err), 1) << err;
  EXPECT_TRUE(out.starts_with(store + " is damaged:\n  ")) << out;
  EXPECT_TRUE(out.ends_with("\nCopy what it still holds into a new file: korvane-log salvage " +
                            store + " --store NEW\n"))
      << out;

  const std::string copy = Path("copy.sqlite");
  ASSERT_EQ(Run({"salvage", store, "--store", copy}, out, err), 0) << err;
  // "copied N frames and 1 run of S into C\ncould not read frames A to B (K ids)\n..."
  long long copied = 0;
  long long first = 0;
  long long last = 0;
  long long ids = 0;
  const std::string format = "copied %lld frames and 1 run of " + store + " into " + copy +
                             "\ncould not read frames %lld to %lld (%lld ids)\n";
  ASSERT_EQ(std::sscanf(out.c_str(), format.c_str(), &copied, &first, &last, &ids), 4) << out;
  EXPECT_EQ(ids, last - first + 1);
  EXPECT_LT(ids, 200) << "more than one page of frames lost";
  EXPECT_EQ(copied + ids, 3000);
  EXPECT_TRUE(out.ends_with("ids)\nruns missing frames: 1\n")) << out;

  ASSERT_EQ(Run({"check", "--store", copy}, out, err), 0) << err;
  EXPECT_EQ(out, copy + " is sound: 1 run, " + std::to_string(copied) + " frames\n");
  EXPECT_EQ(Run({"salvage", store, "--store", copy}, out, err), 1);
  EXPECT_EQ(err, "korvane-log: " + copy + " exists: salvage writes a new file and replaces none\n");
}

}  // namespace
}  // namespace korvane::logger
