#pragma once

#include <cstdint>
#include <map>
#include <string>

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
};

// Command-line switches, matched by the application ("-" or "/" then the name, case ignored).
struct StartOptions {
  bool Minimize = false;
  bool Debug = false;            // trace link events on stderr
  bool DoSound = false;          // stored; nothing reads it
  bool NoPromptOnClose = false;  // close without asking
  bool Demo = false;             // in-process simulated charger on the configured port
};

}  // namespace korvane::ui
