#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvane::test_support {

// A fresh folder under the system's temp folder, removed with its contents when the object goes.
// Mode 0700 unless a fixture running as another user (a broker that drops root, an unprivileged
// child) must read it: then 0755. Throws std::runtime_error when no folder can be made.
class TempDir {
 public:
  explicit TempDir(unsigned mode = 0700);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(std::string_view name) const;
  // The names in the folder, sorted: what a test made or left behind.
  std::vector<std::string> Names() const;

 private:
  std::string path_;
};

// A whole file's bytes; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Replaces the file's contents with `bytes`.
void WriteFile(const std::string& path, std::string_view bytes);

}  // namespace korvane::test_support
