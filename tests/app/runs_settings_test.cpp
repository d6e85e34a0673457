// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "korvane/app/ini_settings_storage.h"
#include "korvane/test_support/temp_dir.h"

namespace korvane::app {
namespace {

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;
using ui::RunsWindowSettings;

TEST(RunsSettings, SaveWritesTheRunsSectionOnlyAndReadsBack) {
  TempDir dir;
  const std::string file = dir / "korvane-connect.ini";
  WriteFile(file,
            "[GLOBAL]\r\nCommPort=3\r\n\r\n[RUNS]\r\nTheme=dark\r\n\r\n[Window]\r\nLeft=1\r\n");
  IniSettingsStorage storage(file);
  EXPECT_EQ(storage.RunsWindow(), RunsWindowSettings{});

  const RunsWindowSettings changed{
      .Width = 1280, .Height = 720, .SplitterSizes = {250, 400}, .SeriesMask = 0xFFF, .Channel = 2};
  storage.SaveRunsWindow(changed);
  EXPECT_EQ(ReadFile(file),
            "[GLOBAL]\r\nCommPort=3\r\n\r\n[RUNS]\r\nTheme=dark\r\nWidth=1280\r\nHeight=720\r\n"
            "Splitter=250,400\r\nSeries=4095\r\nChannel=2\r\n\r\n[Window]\r\nLeft=1\r\n");
  EXPECT_EQ(storage.RunsWindow(), changed);
  EXPECT_EQ(storage.Load().CommPort, 3);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"korvane-connect.ini"});
}

TEST(RunsSettings, EdgeValuesAreKeptJunkAndOutOfRangeGiveTheirDefaults) {
  const auto read = [](const std::string& lines) {
    return ReadRunsWindowSettings(IniDocument::Parse("[RUNS]\n" + lines));
  };
  EXPECT_EQ(read("Width=300\nHeight=16384\nSplitter=0,16384\nSeries=0x201\nChannel=1\n"),
            (RunsWindowSettings{.Width = 300,
                                .Height = 16384,
                                .SplitterSizes = {0, 16384},
                                .SeriesMask = 0x201,
                                .Channel = 1}));
  EXPECT_EQ(read("Series=0\n").SeriesMask, 0u);
  for (const char* junk :
       {"Width=299", "Width=wide", "Height=16385", "Height=-700", "Splitter=100", "Splitter=100,-1",
        "Splitter=1,2,3", "Splitter=a,b", "Series=4096", "Series=-1", "Channel=3", "Channel="}) {
    EXPECT_EQ(read(junk), RunsWindowSettings{}) << junk;
  }
}

// The Packs window keeps its own section: neither window's size overwrites the other's.
TEST(PacksSettings, KeptInTheirOwnSectionBesideTheRuns) {
  TempDir dir;
  IniSettingsStorage storage(dir / "korvane-connect.ini");
  RunsWindowSettings runs;
  runs.Width = 1280;
  const ui::PacksWindowSettings packs{.Width = 900, .Height = 500, .SplitterSizes = {200, 300}};
  storage.SaveRunsWindow(runs);
  storage.SavePacksWindow(packs);
  EXPECT_EQ(storage.RunsWindow(), runs);
  EXPECT_EQ(storage.PacksWindow(), packs);
  EXPECT_EQ(ReadPacksWindowSettings(IniDocument::Parse("[PACKS]\nWidth=299\nSplitter=1\n")),
            ui::PacksWindowSettings{});
}

}  // namespace
}  // namespace korvane::app
