// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/app/command_line.h"

#include "korvane/app/program_info.h"
#include "korvane/app/settings_location.h"

namespace korvane::app {
namespace {

char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::vector<std::string> Arguments(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc && argv[i] != nullptr; ++i) {
    args.emplace_back(argv[i]);
  }
  return args;
}

bool HasSwitch(const std::vector<std::string>& args, std::string_view name) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (!arg.empty() && (arg.front() == '-' || arg.front() == '/') &&
        EqualNoCase(arg.substr(1), name)) {
      return true;
    }
  }
  return false;
}

korvane::ui::StartOptions ParseStartOptions(const std::vector<std::string>& args) {
  korvane::ui::StartOptions options;
  options.Minimize = HasSwitch(args, "MINIMIZE");
  options.Debug = HasSwitch(args, "DEBUG");
  options.DoSound = HasSwitch(args, "DOSOUND");
  options.NoPromptOnClose = HasSwitch(args, "NOPROMPTONCLOSE");
  options.Demo = HasSwitch(args, "DEMO");
  return options;
}

InfoRequest FindInfoRequest(const std::vector<std::string>& args) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--help") {
      return InfoRequest::kHelp;
    }
    if (args[i] == "--version") {
      return InfoRequest::kVersion;
    }
  }
  return InfoRequest::kNone;
}

std::string HelpText(std::string_view program_path) {
  const std::size_t slash = program_path.rfind('/');
  std::string program(slash == std::string_view::npos ? program_path
                                                      : program_path.substr(slash + 1));
  if (program.empty()) {
    program = "korvane-connect";
  }
  return "Usage: " + program + " [SWITCH]...\n" +
         "Shows the live values of a Korvane two-channel battery charger, charts them and\n"
         "exports their history.\n"
         "\n"
         "Switches start with \"-\" or \"/\"; letter case is ignored:\n"
         "  -MINIMIZE         start minimised\n"
         "  -DEBUG            trace port opens, frame results and status changes on stderr\n"
         "  -DEMO             use a built-in simulated charger instead of a serial device\n"
         "  -NOPROMPTONCLOSE  close without asking first\n"
         "  -DOSOUND          play a sound when a recorded run finishes or fails\n"
         "  --help            show this help and exit\n"
         "  --version         show the version and exit\n"
         "\n"
         "Settings: $XDG_CONFIG_HOME/" +
         kApplicationTitle + "/" + SettingsFileName(program) +
         "\n"
         "($XDG_CONFIG_HOME defaults to ~/.config). Its section [PORTS] maps port numbers\n"
         "to devices, e.g. COM5=/dev/ttyUSB4.\n";
}

std::string VersionText() {
  return std::string(kApplicationTitle) + " " + VersionString(CurrentVersion()) + "\n";
}

}  // namespace korvane::app
