// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/app/run_application.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <QApplication>
#include <QTimer>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "korvane/app/command_line.h"
#include "korvane/app/instance_lock.h"
#include "korvane/test_support/temp_dir.h"
#include "scoped_env.h"

namespace korvane::app {
namespace {

using test_support::TempDir;
using testing::ScopedEnv;

class RunApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("QT_QPA_PLATFORM", "offscreen", 0); }

  int Run(std::vector<std::string> args, WindowFactory factory) {
    RunHooks hooks;
    hooks.show_message = [this](QMessageBox::Icon icon, const QString& caption,
                                const QString& text) {
      const char* kind = icon == QMessageBox::Warning ? "warning " : "error ";
      shown_.push_back(kind + (caption + ": " + text).toStdString());
    };
    hooks.out = &out_;
    hooks.lock_path = LockPath();
    hooks.settings_file = settings_file_;
    hooks.end_session = end_session_;
    std::vector<char*> argv;
    for (std::string& arg : args) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    return RunApplication(static_cast<int>(args.size()), argv.data(), std::move(factory), hooks);
  }

  // A window that runs `while_running` once the event loop runs, then closes itself unless
  // keep_open_ is set; the loop is ended after a deadline if the close does not end it.
  WindowFactory ClosingWindow(std::function<void(QWidget&)> while_running = {}) {
    return [this, while_running](ui::SettingsStorage& storage, const ui::StartOptions& options) {
      ++windows_made_;
      settings_file_seen_ = storage.FileName();
      options_seen_ = options;
      auto window = std::make_unique<QWidget>();
      QWidget* raw = window.get();
      QTimer::singleShot(0, raw, [raw, while_running, keep_open = keep_open_] {
        if (while_running) {
          while_running(*raw);
        }
        if (!keep_open) {
          raw->close();
        }
      });
      QTimer::singleShot(10000, qApp, [this] {
        deadline_hit_ = true;
        QApplication::quit();
      });
      return std::unique_ptr<QWidget>(std::move(window));
    };
  }

  std::string LockPath() const { return dir_ / "Korvane Connect.lock"; }

  TempDir dir_;
  std::string settings_file_ = dir_ / "k.ini";
  std::ostringstream out_;
  std::vector<std::string> shown_;
  int windows_made_ = 0;
  std::string settings_file_seen_;
  ui::StartOptions options_seen_;
  bool deadline_hit_ = false;
  bool keep_open_ = false;
  std::function<void(QWidget&)> end_session_;
};

TEST_F(RunApplicationTest, RunsTheWindowWithSwitchesStorageAndLock) {
  bool minimized = false;
  InstanceLock::State lock_while_running = InstanceLock::State::kUnavailable;
  EXPECT_EQ(
      Run({"korvane-connect", "-minimize", "/debug", "--demo"}, ClosingWindow([&](QWidget& window) {
            minimized = window.isMinimized();
            lock_while_running = InstanceLock(LockPath()).state();
          })),
      0);
  EXPECT_FALSE(deadline_hit_);
  EXPECT_EQ(windows_made_, 1);
  EXPECT_TRUE(minimized);
  EXPECT_EQ(lock_while_running, InstanceLock::State::kHeldElsewhere);
  EXPECT_TRUE(options_seen_.Minimize && options_seen_.Debug && !options_seen_.Demo);
  EXPECT_EQ(settings_file_seen_, settings_file_);
  EXPECT_TRUE(shown_.empty());
  EXPECT_EQ(InstanceLock(LockPath()).state(), InstanceLock::State::kAcquired);
}

TEST_F(RunApplicationTest, ShowsNormallyAndNamesSettingsFileAfterTheExecutable) {
  ScopedEnv config("XDG_CONFIG_HOME", dir_ / "config");
  settings_file_.clear();
  bool shown_normally = false;
  EXPECT_EQ(Run({"ignored-name"}, ClosingWindow([&](QWidget& window) {
                  shown_normally = window.isVisible() && !window.isMinimized();
                })),
            0);
  EXPECT_TRUE(shown_normally);
  EXPECT_EQ(settings_file_seen_, dir_ / "config/Korvane Connect/" KORVANE_TEST_BINARY ".ini");
  EXPECT_TRUE(std::filesystem::exists(dir_ / "config/Korvane Connect"));
}

TEST_F(RunApplicationTest, SecondInstanceIsRefused) {
  InstanceLock first(LockPath());
  ASSERT_EQ(first.state(), InstanceLock::State::kAcquired);
  EXPECT_EQ(Run({"korvane-connect"}, ClosingWindow()), 0);
  EXPECT_EQ(windows_made_, 0);
  EXPECT_EQ(shown_,
            (std::vector<std::string>{"warning Korvane Connect: Application is already running!"}));
}

TEST_F(RunApplicationTest, FactoryExceptionIsShownAndLockReleased) {
  const WindowFactory failing = [](ui::SettingsStorage&,
                                   const ui::StartOptions&) -> std::unique_ptr<QWidget> {
    throw std::runtime_error("Unable to open the window");
  };
  EXPECT_EQ(Run({"korvane-connect"}, failing), 0);
  EXPECT_EQ(shown_, (std::vector<std::string>{"error Korvane Connect: Unable to open the window"}));
  EXPECT_EQ(InstanceLock(LockPath()).state(), InstanceLock::State::kAcquired);
}

TEST_F(RunApplicationTest, EventHandlerExceptionIsShownAndTheProgramGoesOn) {
  bool alive_after = false;
  EXPECT_EQ(Run({"korvane-connect"}, ClosingWindow([&](QWidget& window) {
                  QTimer::singleShot(0, &window,
                                     [] { throw std::runtime_error("handler failed"); });
                  QCoreApplication::processEvents();
                  alive_after = window.isVisible();
                })),
            0);
  EXPECT_FALSE(deadline_hit_);
  EXPECT_TRUE(alive_after);
  EXPECT_EQ(shown_, (std::vector<std::string>{"error Korvane Connect: handler failed"}));
}

TEST_F(RunApplicationTest, TerminationSignalEndsTheSessionOnce) {
  for (const int number : {SIGTERM, SIGHUP, SIGINT}) {
    int ended = 0;
    end_session_ = [&ended](QWidget& window) {
      ++ended;
      window.close();
    };
    keep_open_ = true;
    EXPECT_EQ(Run({"korvane-connect"}, ClosingWindow([number](QWidget&) {
                    raise(number);
                    raise(SIGHUP);  // the second of a log-off's pair is absorbed
                  })),
              0);
    EXPECT_FALSE(deadline_hit_) << number;
    EXPECT_EQ(ended, 1) << number;
    struct sigaction now = {};
    sigaction(number, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL) << number;
  }
}

TEST_F(RunApplicationTest, HelpAndVersionAnswerWithoutApplicationWindowOrLock) {
  for (const char* arg : {"--help", "--version"}) {
    out_.str("");
    EXPECT_EQ(Run({"/usr/bin/korvane-connect", "-DEMO", arg}, ClosingWindow()), 0);
    EXPECT_EQ(out_.str(),
              std::string(arg) == "--help" ? HelpText("/usr/bin/korvane-connect") : VersionText());
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
  }
  EXPECT_EQ(windows_made_, 0);
  EXPECT_FALSE(std::filesystem::exists(LockPath()));
  EXPECT_TRUE(shown_.empty());
}

}  // namespace
}  // namespace korvane::app
