// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMessageBox>
#include <QWidget>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "korvane/ui/app_services.h"

namespace korvane::app {

// Creates the main window. The storage outlives the window.
using WindowFactory = std::function<std::unique_ptr<QWidget>(korvane::ui::SettingsStorage&,
                                                             const korvane::ui::StartOptions&)>;

// Shows a message and returns once it has been dismissed.
using MessageFunction =
    std::function<void(QMessageBox::Icon icon, const QString& caption, const QString& text)>;

// Replaceable parts of the start-up. Empty members mean the default.
struct RunHooks {
  // What a log-off, a shut-down or Ctrl+C (SIGTERM, SIGHUP, SIGINT) does to the window before the
  // program ends; default: close it.
  std::function<void(QWidget& window)> end_session;
  MessageFunction show_message;  // default: a modal QMessageBox with an OK button
  std::ostream* out = nullptr;   // --help and --version text; default std::cout
  std::string lock_path;         // default InstanceLockPath()
  std::string settings_file;     // default from PrepareSettingsLocation
};

// The program: answers --help and --version; otherwise creates the QApplication, refuses to run
// beside another instance ("Application is already running!"), creates the window, shows it
// (minimised with -MINIMIZE) and runs the event loop until the window closes or a termination
// signal has been handled. An exception from the factory or from an
// event handler is shown in a message box; the lock is released in every case. Returns 0.
int RunApplication(int argc, char** argv, WindowFactory make_window);
int RunApplication(int argc, char** argv, WindowFactory make_window, const RunHooks& hooks);

}  // namespace korvane::app
