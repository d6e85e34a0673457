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

TEST(ExportSettings, TheFolderIsWrittenIntoItsOwnSectionAndReadBackExactly) {
  TempDir dir;
  const std::string file = dir / "korvane-connect.ini";
  WriteFile(file, "[GLOBAL]\r\nCommPort=3\r\n");
  IniSettingsStorage storage(file);
  EXPECT_EQ(storage.Export().Folder, "");

  storage.SaveExport({.Folder = "/home/u/exports"});
  EXPECT_EQ(ReadFile(file), "[GLOBAL]\r\nCommPort=3\r\n\r\n[EXPORT]\r\nFolder=/home/u/exports\r\n");
  EXPECT_EQ(storage.Load().CommPort, 3);
  for (const std::string folder : {"/tmp/ padded ", "/tmp/\"quoted\"", "\"", "/tmp/a=b;c"}) {
    storage.SaveExport({.Folder = folder});
    EXPECT_EQ(storage.Export().Folder, folder) << ReadFile(file);
  }
  storage.SaveExport({.Folder = "/tmp/x\n[GLOBAL]\nCommPort=9"});
  EXPECT_EQ(storage.Export().Folder, "");
  EXPECT_EQ(storage.Load().CommPort, 3);
}

}  // namespace
}  // namespace korvane::app
