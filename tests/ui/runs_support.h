// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdlib.h>
#include <time.h>

#include <clocale>
#include <cstdint>
#include <string>

#include "korvane/record/run.h"
#include "korvane/record/store.h"

namespace korvane::ui::testing {

// 14 November 2023, 22:13:20 UTC.
inline constexpr std::int64_t kStartMs = 1'700'000'000'000;

// A C locale and UTC for one scope; the previous locale comes back after.
struct ScopedLocaleUtc {
  explicit ScopedLocaleUtc(const char* locale)
      : saved(std::setlocale(LC_ALL, nullptr)), ok(std::setlocale(LC_ALL, locale) != nullptr) {
    setenv("TZ", "UTC", 1);
    tzset();
  }
  ~ScopedLocaleUtc() {
    std::setlocale(LC_ALL, saved.c_str());
    unsetenv("TZ");
    tzset();
  }
  std::string saved;
  bool ok;
};

inline record::RunSummary RunSpec(int channel, std::int64_t start_ms,
                                  record::EndState end = record::EndState::kFinished) {
  record::RunSummary run;
  run.channel = channel;
  run.kind = record::kRunCharge;
  run.start_ms = start_ms;
  run.end_state = end;
  run.end_text = end == record::EndState::kInProgress ? "In progress" : "Finished: CC-CV";
  return run;
}

// Adds `frames` frames a second apart, the run's channel reading 4000 mV on the output for the
// first and 1 mV more for each after, and stores the run that spans them (an id of 0 gets a new
// run; another id continues that run with the frames added).
inline record::RunSummary WriteRun(record::Store& store, record::RunSummary run, int frames) {
  const auto batch = store.Begin();
  for (int i = 0; i < frames; ++i, ++run.frames) {
    model::S_HARDWARE_DATA record;
    record.UtcMs = run.start_ms + run.frames * 1000;
    model::S_CHANNEL_DATA& ch = record.Channels[static_cast<std::size_t>(run.channel - 1)];
    ch.OperationMode = 1;
    ch.OutputVoltage = static_cast<std::uint16_t>(4000 + run.frames);
    ch.TemperatureSign = 1;
    run.last_frame = batch->AddFrame(record);
    run.first_frame = run.frames == 0 ? run.last_frame : run.first_frame;
    run.end_ms = record.UtcMs;
  }
  batch->PutRun(run);
  batch->Commit();
  return run;
}

}  // namespace korvane::ui::testing
