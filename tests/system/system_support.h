// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <dirent.h>

#include <atomic>
#include <cstdint>
#include <fstream>
#include <streambuf>
#include <string>
#include <string_view>

#include "korvane/model/telemetry_sink.h"
#include "korvane/test_support/temp_dir.h"

namespace korvane::system_test {

// Entries of /proc/self/fd, less the descriptor the listing itself holds.
inline int OpenFdCount() {
  DIR* dir = ::opendir("/proc/self/fd");
  if (dir == nullptr) {
    return -1;
  }
  int count = 0;
  while (const dirent* entry = ::readdir(dir)) {
    count += entry->d_name[0] != '.';
  }
  ::closedir(dir);
  return count - 1;
}

// Resident memory of this process (VmRSS) in KiB, or -1.
inline long ResidentKib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) {
      return std::stol(line.substr(6));
    }
  }
  return -1;
}

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

// Counts the link's trace lines by kind, without keeping them. Any thread.
struct LinkEvents {
  std::atomic<std::uint64_t> valid{0};
  std::atomic<std::uint64_t> wrong_length{0};
  std::atomic<std::uint64_t> wrong_checksum{0};
  std::atomic<std::uint64_t> opened{0};
  std::atomic<std::uint64_t> open_failed{0};
  std::atomic<std::uint64_t> hung_up{0};
  std::atomic<std::uint64_t> held{0};  // open failures because another program holds the port

  void Add(std::string_view line) {
    if (line == "frame: valid") {
      ++valid;
    } else if (line == "frame: wrong length") {
      ++wrong_length;
    } else if (line == "frame: wrong checksum") {
      ++wrong_checksum;
    } else if (line.rfind("port: ", 0) == 0) {
      if (line.find(" -> 0 ") != std::string_view::npos) {
        ++opened;
      } else if (line.find(" -> -") != std::string_view::npos) {
        ++open_failed;
        held += line.find("in use by another program") != std::string_view::npos;
      } else if (line.find("hung up") != std::string_view::npos) {
        ++hung_up;
      }
    }
  }
};

// A stream buffer that hands each complete line to LinkEvents: the window's trace stream, so a
// long run counts its frames without storing the lines. Writers take turns (the window's trace
// writes each line under its own lock).
class EventLineBuffer final : public std::streambuf {
 public:
  explicit EventLineBuffer(LinkEvents& events) : events_(events) {}

 protected:
  int_type overflow(int_type c) override {
    if (c == traits_type::eof()) {
      return traits_type::not_eof(c);
    }
    if (c == '\n') {
      events_.Add(line_);
      line_.clear();
    } else {
      line_.push_back(static_cast<char>(c));
    }
    return c;
  }

 private:
  LinkEvents& events_;
  std::string line_;
};

// Passes everything to the real model and counts the decodes.
class CountingSink final : public model::TelemetrySink {
 public:
  explicit CountingSink(model::TelemetrySink& inner) : inner_(inner) {}
  void Decode(std::string_view payload) override {
    inner_.Decode(payload);
    ++decoded_;
  }
  void RefreshDisplay() override { inner_.RefreshDisplay(); }
  std::uint64_t Decoded() const { return decoded_.load(); }

 private:
  model::TelemetrySink& inner_;
  std::atomic<std::uint64_t> decoded_{0};
};

}  // namespace korvane::system_test
