// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <stdlib.h>

#include <nlohmann/json.hpp>

#include "korvane/model/date_time.h"
#include "korvane/model/export_file.h"
#include "korvane/test_support/piped_child.h"
#include "korvane/test_support/temp_dir.h"

namespace korvane::logger {
namespace {

using namespace std::chrono_literals;

// An imported store in a zone two hours ahead of UTC without DST: run 1 on channel 2 from local
// midnight of 2026-12-01 (22:00Z the day before), run 2 on channel 1 from 01:30 local.
TEST(RunsListing, JsonHasTheTableRowsAndTheFiltersTakeLocalTimeUnlessZoned) {
  ::setenv("TZ", "UTC-2", 1);
  ::tzset();
  const test_support::TempDir dir;
  const std::string store = dir / "s.sqlite";
  std::vector<model::S_HARDWARE_DATA> frames(6);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    frames[i].UtcMs = 1'796'076'000'000 + static_cast<std::int64_t>(i < 3 ? i : 5397 + i) * 1000;
    frames[i].Time = model::StampFromUnixMs(frames[i].UtcMs).Local;
    frames[i].Channels[i < 3 ? 1 : 0].OperationMode = i < 3 ? 2 : 1;
  }
  test_support::WriteFile(store + ".tsv", model::ExportText(frames));
  std::string out, err;
  const auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), KORVANE_LOG);
    args.insert(args.end(), {"--store", store});
    test_support::PipedChild program(args, {"LC_ALL=C"});
    const int status = program.Wait(30s).value_or(-1);
    out = program.Out(), err = program.Err();
    return status;
  };
  ASSERT_EQ(run({"import", store + ".tsv"}), 0);
  ASSERT_EQ(run({"runs"}), 0);
  const std::string table = out;
  ASSERT_EQ(run({"runs", "--json"}), 0);
  const nlohmann::json runs = nlohmann::json::parse(out);
  ASSERT_EQ(runs.size(), 2u) << out;
  EXPECT_EQ(runs[0]["start"], "2026-11-30T22:00:00.000Z");
  for (const nlohmann::json& r : runs) {
    const std::string kind = r["kind"], end = r["end_text"];
    EXPECT_NE(table.find("\n" + r["run"].dump() + "\t" + r["channel"].dump() + "\t" + kind + "\t"),
              std::string::npos);
    // No pack and no IR estimate: null in JSON, empty fields at the table's end.
    EXPECT_NE(table.find("\t" + end + "\t" + r["frames"].dump() + "\t\t\n"), std::string::npos);
    EXPECT_EQ(r.at("pack"), nullptr);
    EXPECT_EQ(r.at("ir_mohm"), nullptr);
  }
  ASSERT_EQ(run({"runs", "--channel", "2"}), 0);
  EXPECT_EQ(out, table.substr(0, table.rfind('\n', table.size() - 2) + 1));  // without run 2

  const std::vector<std::pair<std::vector<std::string>, const char*>> cases = {
      {{"--since", "2026-12-01"}, "[1,2]"},
      {{"--since", "2026-11-30T22:00:00.001Z"}, "[2]"},
      {{"--since", "2026-11-30T21:59:59.9995Z"}, "[1,2]"},
      {{"--since", "2026-12-01T01:30+02:00"}, "[2]"},
      {{"--since", "2026-12-01 01:30:01"}, "[]"},
      {{"--channel", "3"}, nullptr},
      {{"--since", "2026-02-30"}, nullptr},
      {{"--since", "2026-12-01T24:00"}, nullptr},
      {{"--since", "2026-12-01T18:30+2"}, nullptr},
  };
  for (const auto& [options, listed] : cases) {
    const int status = run({"runs", "--json", options[0], options[1]});
    if (listed == nullptr) {
      EXPECT_EQ(status, 2) << options[1];
      EXPECT_NE(err.find(options[0] + ": \"" + options[1] + "\" is not a"), std::string::npos)
          << err;
      continue;
    }
    ASSERT_EQ(status, 0) << err;
    std::vector<int> ids;
    for (const nlohmann::json& r : nlohmann::json::parse(out)) {
      ids.push_back(r["run"]);
    }
    EXPECT_EQ(nlohmann::json(ids).dump(), listed) << options[1];
  }
}

}  // namespace
}  // namespace korvane::logger
