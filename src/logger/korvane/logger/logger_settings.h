// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <string>

namespace korvane::logger {

// What korvane-log takes from the window's settings file: the same file the window reads
// ($XDG_CONFIG_HOME or ~/.config, then "Korvane Connect/korvane-connect.ini"; beside the
// executable when there is no such folder), and only ever read.
struct LoggerSettings {
  std::string file;
  std::map<int, std::string> port_overrides;  // [PORTS] COM<n>=<device>
  std::string store_file;                     // [RECORDING] File=; empty: the default store
};

// A missing or unreadable file gives no overrides and the default store. Never throws.
LoggerSettings ReadLoggerSettings();

// The recordings file: `option` when given, else the settings' store file, else the user's
// default store. Throws record::StoreError when there is no home folder for the default.
std::string StorePath(const std::string& option, const LoggerSettings& settings);

}  // namespace korvane::logger
