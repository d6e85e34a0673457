// SPDX-License-Identifier: GPL-3.0-or-later
// The export-file reader fed any bytes, in two locales and several time zones: it returns frames
// or throws ImportError (std::invalid_argument never: the zones exist), and what it returns is
// in time order and reads back the same from its own export.
#include <stdlib.h>

#include <array>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "korvane/model/export_file.h"
#include "korvane/record/import_reader.h"

namespace {

using korvane::model::S_HARDWARE_DATA;

// "": the process's zone. Lord Howe moves its clocks by half an hour.
constexpr std::array<const char*, 4> kZones = {"", "Europe/Berlin", "Australia/Lord_Howe",
                                               "Asia/Tokyo"};

bool SameFrames(const std::vector<S_HARDWARE_DATA>& a, const std::vector<S_HARDWARE_DATA>& b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].UtcMs != b[i].UtcMs ||
        korvane::model::ExportLine(a[i]) != korvane::model::ExportLine(b[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TZ", "Europe/Berlin", 1);  // the process's zone has summer time too
  tzset();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const auto choice = input.Take<std::uint8_t>();
  // de_DE writes four-digit years and decimal commas; skipped where it is not installed.
  if (std::setlocale(LC_ALL, (choice & 1) != 0 ? "de_DE.UTF-8" : "C") == nullptr) {
    return 0;
  }
  const korvane::record::ImportOptions options{kZones[(choice >> 1) % kZones.size()]};
  std::istringstream in(input.Rest());
  std::vector<S_HARDWARE_DATA> frames;
  try {
    frames = korvane::record::ReadExport(in, options);
  } catch (const korvane::record::ImportError&) {
    return 0;
  }
  for (std::size_t i = 1; i < frames.size(); ++i) {
    if (frames[i].UtcMs / 1000 < frames[i - 1].UtcMs / 1000) {
      std::abort();  // out of time order
    }
  }
  if (options.timezone.empty()) {  // the export writes the process's local times
    std::istringstream again(korvane::model::ExportText(frames));
    if (!SameFrames(korvane::record::ReadExport(again, options), frames)) {
      std::abort();
    }
  }
  return 0;
}
