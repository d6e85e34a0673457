// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <map>
#include <string>

#include "korvane/app/ini_document.h"
#include "korvane/ui/app_services.h"

namespace korvane::app {

// The window's settings in the INI file: section "GLOBAL" with "CommPort" (1..99, else 1),
// "Channel" (1..2, else 1) and "ChartValuesMask" (any 32 bits); section "PORTS" with
// "COM<n>=<device path>", n 1..99, which is only ever read.
korvane::ui::WindowSettings ReadWindowSettings(const IniDocument& document);
void WriteWindowSettings(IniDocument& document, const korvane::ui::WindowSettings& settings);
std::map<int, std::string> ReadPortOverrides(const IniDocument& document);
// Section "RECORDING": "Enabled" (an integer, 0 turns the recording off; anything else or
// missing leaves it on) and "File" (the store's path; empty or missing: the default store).
korvane::ui::RecordingSettings ReadRecordingSettings(const IniDocument& document);
// Section "NOTIFY": "Enabled" (an integer, 0 turns the desktop notifications off; anything
// else or missing leaves them on).
korvane::ui::NotifySettings ReadNotifySettings(const IniDocument& document);
// Section "MQTT": "Host" ("HOST[:PORT]"; missing or empty: nothing is published), "Topic" (the
// topic prefix), "User", "PasswordFile", "CAFile" and "Discovery" (Home Assistant's discovery
// prefix; empty or missing: none), each as the recorder's options take them.
korvane::publish::BrokerChoice ReadMqttSettings(const IniDocument& document);
// Section "RUNS": "Width" (300..16384) and "Height" (200..16384), "Splitter" (two sizes
// "<table>,<plot>", each 0..16384), "Series" (a mask of the 12 plot series) and "Channel"
// (0..2). A missing, junk or out-of-range value gives its default.
korvane::ui::RunsWindowSettings ReadRunsWindowSettings(const IniDocument& document);
void WriteRunsWindowSettings(IniDocument& document,
                             const korvane::ui::RunsWindowSettings& settings);
// Section "PACKS": "Width", "Height" and "Splitter" (the table's and the chart's heights) as in
// "RUNS".
korvane::ui::PacksWindowSettings ReadPacksWindowSettings(const IniDocument& document);
void WritePacksWindowSettings(IniDocument& document,
                              const korvane::ui::PacksWindowSettings& settings);
// Section "EXPORT": "Folder", the folder of the last export (missing: none). A folder with
// outer blanks or quotes is written quoted; one with a line break is not remembered.
korvane::ui::ExportSettings ReadExportSettings(const IniDocument& document);
void WriteExportSettings(IniDocument& document, const korvane::ui::ExportSettings& settings);

// SettingsStorage on one INI file. Every call reads the file afresh; a save rewrites only the
// settings it is given and replaces the file atomically.
class IniSettingsStorage final : public korvane::ui::SettingsStorage {
 public:
  explicit IniSettingsStorage(std::string file_name);

  std::string FileName() const override { return file_name_; }
  korvane::ui::WindowSettings Load() override;
  std::map<int, std::string> PortOverrides() override;
  korvane::ui::RecordingSettings Recording() override;
  korvane::ui::NotifySettings Notify() override;
  korvane::publish::BrokerChoice Mqtt() override;
  void Save(const korvane::ui::WindowSettings& settings) override;
  korvane::ui::RunsWindowSettings RunsWindow() override;
  void SaveRunsWindow(const korvane::ui::RunsWindowSettings& settings) override;
  korvane::ui::PacksWindowSettings PacksWindow() override;
  void SavePacksWindow(const korvane::ui::PacksWindowSettings& settings) override;
  korvane::ui::ExportSettings Export() override;
  void SaveExport(const korvane::ui::ExportSettings& settings) override;

 private:
  IniDocument ReadDocument() const;
  // Reads the file, applies `change` and writes it back atomically; throws like Save.
  void Rewrite(const std::function<void(IniDocument&)>& change);

  std::string file_name_;
};

}  // namespace korvane::app
