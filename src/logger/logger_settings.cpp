// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/logger/logger_settings.h"

#include "korvane/app/ini_settings_storage.h"
#include "korvane/app/settings_location.h"
#include "korvane/record/store.h"

namespace korvane::logger {
namespace {

// The window's executable, beside this one: its name names the settings file.
constexpr const char* kWindowExecutable = "korvane-connect";

}  // namespace

LoggerSettings ReadLoggerSettings() {
  const std::string executable = app::ExecutablePath();
  const std::size_t slash = executable.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : executable.substr(0, slash);
  LoggerSettings settings;
  settings.file = app::PrepareSettingsLocation(folder + "/" + kWindowExecutable).file;
  app::IniSettingsStorage storage(settings.file);
  settings.port_overrides = storage.PortOverrides();
  settings.store_file = storage.Recording().File;
  return settings;
}

std::string StorePath(const std::string& option, const LoggerSettings& settings) {
  if (!option.empty()) {
    return option;
  }
  return settings.store_file.empty() ? record::DefaultStorePath() : settings.store_file;
}

}  // namespace korvane::logger
