// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace korvane::app {

struct SettingsLocation {
  std::string folder;  // with a trailing "/"
  std::string file;    // folder + the settings file name
};

// The running executable's absolute path, or an empty string when the system does not tell.
std::string ExecutablePath();

// The executable's file name with its extension replaced by ".ini" ("korvane-connect" gives
// "korvane-connect.ini", "Connect.bin" gives "Connect.ini").
std::string SettingsFileName(std::string_view executable_path);

// Works out the settings folder and creates it with its missing parents: the configuration
// folder ($XDG_CONFIG_HOME if it is absolute, else $HOME/.config) + "Korvane Connect/". When
// the configuration folder cannot be had or created, the executable's folder. Failing to create
// the application's own folder is ignored here; it shows when the file is written.
SettingsLocation PrepareSettingsLocation(const std::string& executable_path);

}  // namespace korvane::app
