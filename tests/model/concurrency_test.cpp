// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>

#include "korvane/model/hardware_data.h"
#include "korvane/model/vocabulary.h"
#include "korvane/test_support/temp_dir.h"
#include "test_support.h"

namespace korvane::model {
namespace {

// Every charted value of a record equals its sequence number, so a torn record shows as a
// chart column or a live view whose values disagree.
std::string UniformPayload(unsigned seq) {
  S_HARDWARE_DATA r;
  for (S_CHANNEL_DATA& c : r.Channels) {
    c.OperationMode = seq % 50 == 0 ? 2 : 1;
    c.InputVoltage = c.OutputVoltage = c.OutputCurrent = static_cast<std::uint16_t>(seq);
    c.CellVoltage.fill(static_cast<std::uint16_t>(seq));
  }
  return testing::EncodePayload(r);
}

TEST(Concurrency, DecodeWhileRefreshingAndExporting) {
  testing::ScopedLocale locale("C");
  testing::FakeView view;
  testing::FakeChart chart;
  THardwareData model(view, chart, 1, 511);
  const test_support::TempDir dir;
  const std::string file = dir / "history.tsv";
  constexpr unsigned kFrames = 6000;
  std::atomic<bool> decoding{true};

  auto decoder = std::async(std::launch::async, [&] {
    for (unsigned seq = 1; seq <= kFrames; ++seq) {
      model.Decode(UniformPayload(seq));
    }
    decoding = false;
  });
  auto reader = std::async(std::launch::async, [&] {
    for (int rounds = 1; decoding || rounds <= 3; ++rounds) {
      model.RefreshDisplay();
      for (const std::string& cell : view.Last().CellVoltage) {
        EXPECT_EQ(cell, view.Last().InputVoltage);
      }
      const auto& first = chart.series[0];
      for (std::size_t i = 0; i < first.size(); ++i) {
        if (i > 0) {  // consecutive frames: no entry skipped or repeated by an eviction
          EXPECT_EQ(first[i].y, first[i - 1].y + 1);
        }
        for (const auto& series : chart.series) {
          ASSERT_EQ(series.size(), first.size());
          EXPECT_EQ(series[i], first[i]);
        }
      }
      if (rounds % 10 == 0) {
        model.ExportData(file);
      }
    }
  });
  for (auto* done : {&decoder, &reader}) {
    if (done->wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
      ADD_FAILURE() << "decoding, refreshing and exporting did not finish: deadlock";
      std::abort();
    }
    done->get();
  }

  EXPECT_EQ(model.HistorySize(), 3600U);
  // Each exported line is whole: the input voltage and the cells agree, in sequence.
  model.ExportData(file);
  std::ifstream in(file, std::ios::binary);
  std::string line;
  std::getline(in, line);
  unsigned lines = 0;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::stringstream split(line.substr(0, line.size() - 1));
    for (std::string f; std::getline(split, f, '\t');) {
      fields.push_back(f);
    }
    ASSERT_EQ(fields.size(), 29U);
    EXPECT_EQ(fields[3], FormatMilli(static_cast<std::uint16_t>(kFrames - 3600 + ++lines)));
    EXPECT_EQ(std::count(fields.begin() + 8, fields.begin() + 15, fields[3]), 7);
  }
  EXPECT_EQ(lines, 3600U);
}

}  // namespace
}  // namespace korvane::model
