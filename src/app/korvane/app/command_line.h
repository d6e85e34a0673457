// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "korvane/ui/app_services.h"

namespace korvane::app {

// The command line as given, the program's own name first.
std::vector<std::string> Arguments(int argc, char** argv);

// True when a parameter after the program's name is "-" or "/" followed by `name`, letter case
// ignored. "--name" and the bare name never match.
bool HasSwitch(const std::vector<std::string>& args, std::string_view name);

korvane::ui::StartOptions ParseStartOptions(const std::vector<std::string>& args);

// "--help" and "--version" answer on stdout and end the program before anything starts. The
// first of them on the command line counts.
enum class InfoRequest { kNone, kHelp, kVersion };
InfoRequest FindInfoRequest(const std::vector<std::string>& args);

std::string HelpText(std::string_view program_path);
std::string VersionText();

}  // namespace korvane::app
