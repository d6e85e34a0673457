// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "korvane/publish/broker_choice.h"

namespace korvane::ui {

// The three settings the window keeps between runs.
struct WindowSettings {
  std::int32_t CommPort = 1;          // 1..99
  std::int32_t Channel = 1;           // 1..2
  std::uint32_t ChartValuesMask = 3;  // bits of the charted values; not validated
};

// The recording of every frame: section RECORDING of the settings file, only ever read.
struct RecordingSettings {
  bool Enabled = true;
  std::string File;  // empty: the user's default store
};

// Desktop notifications when a recorded run ends: section NOTIFY of the settings file, only
// ever read.
struct NotifySettings {
  bool Enabled = true;
};

// The Runs window: section RUNS of the settings file.
struct RunsWindowSettings {
  int Width = 1120;  // pixels: every column of the table at a 9-point font
  int Height = 700;
  std::vector<int> SplitterSizes;    // the table's and the plot's heights; empty: the window's own
  std::uint32_t SeriesMask = 0x201;  // bit i shows plot series i; output voltage and current
  int Channel = 0;                   // the table shows 0: all channels, 1 or 2: only that one

  bool operator==(const RunsWindowSettings&) const = default;
};

// The Packs window: section PACKS of the settings file.
struct PacksWindowSettings {
  int Width = 1000;  // pixels
  int Height = 700;
  std::vector<int> SplitterSizes;  // the table's and the chart's heights; empty: the window's own

  bool operator==(const PacksWindowSettings&) const = default;
};

// File > Export Data: section EXPORT of the settings file.
struct ExportSettings {
  std::string Folder;  // the folder of the last export; empty: none yet
};

// Where the window's settings live. The application implements it on the settings file; tests
// substitute their own.
class SettingsStorage {
 public:
  virtual ~SettingsStorage() = default;

  // Full path of the settings file, for messages.
  virtual std::string FileName() const = 0;

  // Reads the settings. A missing or broken file gives the defaults; out-of-range port and
  // channel give 1. Never throws.
  virtual WindowSettings Load() = 0;

  // The file's PORTS section: port number -> device path. Read only; never written back.
  // Never throws.
  virtual std::map<int, std::string> PortOverrides() = 0;

  // The RECORDING section. Read only; never written back. Never throws. A storage that does not
  // say (a test's, a benchmark's) records nothing.
  virtual RecordingSettings Recording() { return {.Enabled = false, .File = {}}; }

  // Writes the three settings, keeping everything else in the file untouched. Throws
  // std::runtime_error whose what() is the whole user message:
  // "Unable to write to <file>: <reason>".
  virtual void Save(const WindowSettings& settings) = 0;

  // The NOTIFY section. Read only; never written back. Never throws. A storage that does not
  // say (a test's, a benchmark's) notifies nothing.
  virtual NotifySettings Notify() { return {.Enabled = false}; }

  // The MQTT section: the broker the recordings are published to. Read only; never written
  // back. Never throws. A storage that does not say publishes nothing.
  virtual publish::BrokerChoice Mqtt() { return {}; }

  // The RUNS section. Junk or out-of-range values give their defaults. Never throws.
  virtual RunsWindowSettings RunsWindow() { return {}; }
  // Writes the RUNS section, keeping everything else in the file untouched. Throws
  // std::runtime_error like Save.
  virtual void SaveRunsWindow(const RunsWindowSettings&) {}

  // The PACKS section, read and written like RUNS.
  virtual PacksWindowSettings PacksWindow() { return {}; }
  virtual void SavePacksWindow(const PacksWindowSettings&) {}

  // The EXPORT section. Never throws. A storage that does not say remembers no folder.
  virtual ExportSettings Export() { return {}; }
  // Writes the EXPORT section, keeping everything else in the file untouched. Throws
  // std::runtime_error like Save.
  virtual void SaveExport(const ExportSettings&) {}
};

// Command-line switches, matched by the application ("-" or "/" then the name, case ignored).
struct StartOptions {
  bool Minimize = false;
  bool Debug = false;            // trace link events on stderr
  bool DoSound = false;          // an event sound when a recorded run ends
  bool NoPromptOnClose = false;  // close without asking
  bool Demo = false;             // in-process simulated charger on the configured port
};

}  // namespace korvane::ui
