#include "korvane/app/run_application.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <sstream>
#include <stdexcept>

#include "korvane/app/instance_lock.h"
#include "test_files.h"

namespace korvane::app {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

struct Shown {
  QMessageBox::Icon icon;
  QString caption;
  QString text;
  bool operator==(const Shown&) const = default;
};

void PrintTo(const Shown& shown, std::ostream* out) {
  *out << shown.icon << " [" << shown.caption.toStdString() << "] " << shown.text.toStdString();
}

// Throws from its event handler when it receives a QEvent::User.
class ThrowingWidget : public QWidget {
 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) {
      throw std::runtime_error("handler failed");
    }
    return QWidget::event(event);
  }
};

class RunApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("QT_QPA_PLATFORM", "offscreen", 0); }

  int Run(std::vector<std::string> args, WindowFactory factory) {
    RunHooks hooks;
    hooks.show_message = [this](QMessageBox::Icon icon, const QString& caption,
                                const QString& text) {
      shown_.push_back({icon, caption, text});
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
  // keep_open_ is set. The loop
  // is ended after a deadline if the close does not end it.
  WindowFactory ClosingWindow(std::function<void(QWidget&)> while_running = {}) {
    return [this, while_running](ui::SettingsStorage& storage, const ui::StartOptions& options) {
      ++windows_made_;
      settings_file_seen_ = storage.FileName();
      options_seen_ = options;
      auto window = std::make_unique<ThrowingWidget>();
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
  static bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
  }

  TempDir dir_;
  std::string settings_file_ = dir_ / "k.ini";
  std::ostringstream out_;
  std::vector<Shown> shown_;
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
  EXPECT_TRUE(options_seen_.Minimize && options_seen_.Debug);
  EXPECT_FALSE(options_seen_.Demo || options_seen_.DoSound || options_seen_.NoPromptOnClose);
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
  EXPECT_TRUE(Exists(dir_ / "config/Korvane Connect"));
}

TEST_F(RunApplicationTest, SecondInstanceIsRefused) {
  InstanceLock first(LockPath());
  ASSERT_EQ(first.state(), InstanceLock::State::kAcquired);
  EXPECT_EQ(Run({"korvane-connect"}, ClosingWindow()), 0);
  EXPECT_EQ(windows_made_, 0);
  EXPECT_EQ(shown_, (std::vector<Shown>{{QMessageBox::Warning, "Korvane Connect",
                                         "Application is already running!"}}));
}

TEST_F(RunApplicationTest, FactoryExceptionIsShownAndLockReleased) {
  const WindowFactory failing = [](ui::SettingsStorage&,
                                   const ui::StartOptions&) -> std::unique_ptr<QWidget> {
    throw std::runtime_error("Unable to open the window");
  };
  EXPECT_EQ(Run({"korvane-connect"}, failing), 0);
  EXPECT_EQ(shown_, (std::vector<Shown>{
                        {QMessageBox::Critical, "Korvane Connect", "Unable to open the window"}}));
  EXPECT_EQ(InstanceLock(LockPath()).state(), InstanceLock::State::kAcquired);
}

TEST_F(RunApplicationTest, EventHandlerExceptionIsShownAndTheProgramGoesOn) {
  bool alive_after = false;
  EXPECT_EQ(Run({"korvane-connect"}, ClosingWindow([&](QWidget& window) {
                  QCoreApplication::postEvent(&window, new QEvent(QEvent::User));
                  QCoreApplication::processEvents();
                  alive_after = window.isVisible();
                })),
            0);
  EXPECT_FALSE(deadline_hit_);
  EXPECT_TRUE(alive_after);
  EXPECT_EQ(shown_,
            (std::vector<Shown>{{QMessageBox::Critical, "Korvane Connect", "handler failed"}}));
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

TEST_F(RunApplicationTest, HelpAndVersionAnswerWithoutWindowOrLock) {
  struct Case {
    const char* arg;
    std::string starts;
  };
  for (const Case& c : {Case{"--help", "Usage: korvane-connect "},
                        Case{"--version", "Korvane Connect " KORVANE_EXPECTED_VERSION "\n"}}) {
    out_.str("");
    EXPECT_EQ(Run({"/usr/bin/korvane-connect", "-DEMO", c.arg}, ClosingWindow()), 0);
    EXPECT_TRUE(out_.str().starts_with(c.starts)) << out_.str();
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
  }
  EXPECT_EQ(windows_made_, 0);
  EXPECT_FALSE(Exists(LockPath()));
  EXPECT_TRUE(shown_.empty());
}

}  // namespace
}  // namespace korvane::app
