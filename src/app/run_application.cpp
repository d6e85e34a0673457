// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/app/run_application.h"

#include <QApplication>
#include <QPointer>
#include <exception>
#include <iostream>

#include "korvane/app/app_icon.h"
#include "korvane/app/command_line.h"
#include "korvane/app/ini_settings_storage.h"
#include "korvane/app/instance_lock.h"
#include "korvane/app/program_info.h"
#include "korvane/app/settings_location.h"
#include "korvane/app/termination_signals.h"

namespace korvane::app {
namespace {

constexpr const char* kUnknownError = "An unknown error occurred.";

void ShowMessageBox(QMessageBox::Icon icon, const QString& caption, const QString& text) {
  QMessageBox box(icon, caption, text, QMessageBox::Ok);
  box.exec();
}

// Qt does not let exceptions pass through its event loop. An exception escaping an event
// handler is shown here, and the program goes on, as after any failed command.
class Application final : public QApplication {
 public:
  Application(int& argc, char** argv, MessageFunction report)
      : QApplication(argc, argv), report_(std::move(report)) {}

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
      report_(QMessageBox::Critical, kApplicationTitle, QString::fromLocal8Bit(error.what()));
    } catch (...) {
      report_(QMessageBox::Critical, kApplicationTitle, kUnknownError);
    }
    return false;
  }

 private:
  MessageFunction report_;
};

std::string SettingsFile(const std::vector<std::string>& args) {
  std::string executable = ExecutablePath();
  if (executable.empty() && !args.empty()) {
    executable = args.front();
  }
  if (executable.empty()) {
    executable = "korvane-connect";
  }
  return PrepareSettingsLocation(executable).file;
}

}  // namespace

int RunApplication(int argc, char** argv, WindowFactory make_window) {
  return RunApplication(argc, argv, std::move(make_window), RunHooks{});
}

int RunApplication(int argc, char** argv, WindowFactory make_window, const RunHooks& hooks) {
  const std::vector<std::string> args = Arguments(argc, argv);
  std::ostream& out = hooks.out != nullptr ? *hooks.out : std::cout;
  switch (FindInfoRequest(args)) {
    case InfoRequest::kHelp:
      out << HelpText(args.empty() ? std::string() : args.front()) << std::flush;
      return 0;
    case InfoRequest::kVersion:
      out << VersionText() << std::flush;
      return 0;
    case InfoRequest::kNone:
      break;
  }
  // Switches are taken before Qt removes the arguments it understands.
  const korvane::ui::StartOptions options = ParseStartOptions(args);
  const MessageFunction show_message = hooks.show_message ? hooks.show_message : ShowMessageBox;

  int qt_argc = argc;
  Application application(qt_argc, argv, show_message);
  QApplication::setApplicationName(kApplicationTitle);
  QApplication::setApplicationVersion(QString::fromStdString(VersionString(CurrentVersion())));
  QApplication::setDesktopFileName("korvane-connect");
  QApplication::setWindowIcon(ApplicationIcon());

  // Installed before anything can take long, so that a log-off during start-up is not lost.
  QPointer<QWidget> running_window;
  bool ending = false;
  const auto end_window = [&hooks, &running_window] {
    if (hooks.end_session) {
      hooks.end_session(*running_window);
    } else {
      running_window->close();
    }
  };
  TerminationSignals termination([&] {
    ending = true;
    // Ends any loop running now: the window's, or a message box's before the window exists.
    const struct QuitLater {
      ~QuitLater() { QApplication::quit(); }
    } quit_later;
    if (running_window) {
      end_window();
    } else if (QWidget* box = QApplication::activeModalWidget()) {
      box->close();  // quit() alone does not end a box's own loop before the main loop runs
    }
  });

  // A lock that cannot be taken at all (no usable folder) does not stop the program.
  InstanceLock lock(hooks.lock_path.empty() ? InstanceLockPath() : hooks.lock_path);
  if (lock.state() == InstanceLock::State::kHeldElsewhere) {
    // Said on stderr too, for a start from a terminal or a script.
    std::cerr << kApplicationTitle << ": Application is already running!" << std::endl;
    show_message(QMessageBox::Warning, kApplicationTitle, "Application is already running!");
    return 0;
  }

  try {
    IniSettingsStorage storage(hooks.settings_file.empty() ? SettingsFile(args)
                                                           : hooks.settings_file);
    std::unique_ptr<QWidget> window = make_window(storage, options);
    if (window) {
      if (options.Minimize) {
        window->showMinimized();
      } else {
        window->show();
      }
      running_window = window.get();
      if (ending) {
        end_window();
      } else {
        QApplication::exec();
      }
    }
  } catch (const std::exception& error) {
    show_message(QMessageBox::Critical, kApplicationTitle, QString::fromLocal8Bit(error.what()));
  } catch (...) {
    show_message(QMessageBox::Critical, kApplicationTitle, kUnknownError);
  }
  lock.Release();
  return 0;
}

}  // namespace korvane::app
