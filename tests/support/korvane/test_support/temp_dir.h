// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::test_support {

// A fresh folder under the system's temp folder, removed with its contents when the object goes.
// Mode 0700 unless a fixture running as another user (a broker that drops root, an unprivileged
// child) must reach into it: then 0755. Throws std::runtime_error when no folder can be made.
class TempDir {
 public:
  explicit TempDir(unsigned mode = 0700)
      : path_((std::filesystem::temp_directory_path() / "korvane-XXXXXX").string()) {
    if (::mkdtemp(path_.data()) == nullptr || ::chmod(path_.c_str(), mode) != 0) {
      throw std::runtime_error("no temp folder " + path_ + ": " + std::strerror(errno));
    }
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

  // The names in the folder, sorted: what a test made or left behind.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string path_;
};

// A whole file's bytes; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// Replaces the file's contents with `bytes`.
inline void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace korvane::test_support
