// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/fileio/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "korvane/test_support/run_in_child.h"
#include "korvane/test_support/temp_dir.h"

namespace korvane::fileio {
namespace {

namespace fs = std::filesystem;
using test_support::ErrorInChild;
using test_support::TempDir;

// Each target under the strict defaults and with both options; a hang would fail at the deadline.
TEST(AtomicFile, TargetsThatAreNotRegularFilesFollowTheOptions) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  fs::create_directory(dir / "folder");
  fs::create_symlink("/dev/full", dir / "full");
  const AtomicWriteOptions lenient{.write_character_devices = true,
                                   .write_in_place_without_temporary = true};
  struct Case {
    std::string path;
    std::string strict;
    std::string lenient;
  };
  const Case cases[] = {
      {dir / "fifo", kNotRegularFile, kNotRegularFile},
      {dir / "folder", "Is a directory", "Is a directory"},
      {"/dev/null", kNotRegularFile, ""},
      {dir / "full", kNotRegularFile, "No space left on device"},
      {dir / "missing/file", "No such file or directory", "No such file or directory"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ErrorInChild([&c] { WriteFileAtomically(c.path, "new"); }), c.strict) << c.path;
    EXPECT_EQ(ErrorInChild([&] { WriteFileAtomically(c.path, "new", lenient); }), c.lenient)
        << c.path;
  }
  EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
  EXPECT_TRUE(fs::is_symlink(dir / "full"));
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"fifo", "folder", "full"}));
}

}  // namespace
}  // namespace korvane::fileio
