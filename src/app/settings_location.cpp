// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/app/settings_location.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "korvane/app/file_access.h"
#include "korvane/app/program_info.h"

namespace korvane::app {
namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string HomeFolder() {
  std::string home = Environment("HOME");
  if (home.empty()) {
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
      home = entry->pw_dir;
    }
  }
  return home;
}

// Empty when there is none.
std::string ConfigurationFolder() {
  const std::string configured = Environment("XDG_CONFIG_HOME");
  if (configured.starts_with('/')) {
    return configured;
  }
  const std::string home = HomeFolder();
  return home.starts_with('/') ? home + "/.config" : std::string();
}

std::string WithSlash(std::string folder) {
  if (!folder.ends_with('/')) {
    folder += '/';
  }
  return folder;
}

}  // namespace

std::string ExecutablePath() {
  std::string path(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) {
    return {};
  }
  path.resize(static_cast<std::size_t>(length));
  return path;
}

std::string SettingsFileName(std::string_view executable_path) {
  const std::size_t slash = executable_path.rfind('/');
  std::string_view name =
      slash == std::string_view::npos ? executable_path : executable_path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0) {
    name = name.substr(0, dot);
  }
  return std::string(name) + ".ini";
}

SettingsLocation PrepareSettingsLocation(const std::string& executable_path) {
  const std::size_t slash = executable_path.rfind('/');
  SettingsLocation location;
  location.folder = slash == std::string::npos ? "./" : executable_path.substr(0, slash + 1);

  const std::string configuration = ConfigurationFolder();
  if (!configuration.empty() && MakeDirectories(configuration)) {
    location.folder = WithSlash(configuration) + kApplicationTitle + "/";
  }
  MakeDirectories(location.folder);
  location.file = location.folder + SettingsFileName(executable_path);
  return location;
}

}  // namespace korvane::app
