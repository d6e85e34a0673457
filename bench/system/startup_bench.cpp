// SPDX-License-Identifier: GPL-3.0-or-later
// bench-startup: time from process start to the first paint of the main window, offscreen.
//
// The program re-runs itself as a child that goes through the real start-up (RunApplication,
// settings file, instance lock, TFormMain on a pty opened by the parent), notes the monotonic
// clock on entering main, at the first paint event of the window or any of its children, and
// once that paint pass has ended, prints the three times and closes. The parent takes its time
// just before spawning the child, so the figure includes exec, loading the libraries and Qt's
// platform start.

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "korvane/app/run_application.h"
#include "korvane/sim/pty.h"
#include "korvane/ui/form_main.h"
#include "system_bench.h"

namespace {

using korvane::bench::MonotonicMs;

constexpr int kRuns = 7;
constexpr const char* kChildSwitch = "--startup-child";

class FirstPaint final : public QObject {
 public:
  FirstPaint(QWidget& window, double main_ms) : window_(window), main_ms_(main_ms) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!seen_ && event->type() == QEvent::Paint && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == &window_) {
      seen_ = true;
      const double paint_ms = MonotonicMs();
      // A zero timer runs once the event loop is back, i.e. after the whole paint pass.
      QTimer::singleShot(0, &window_, [this, paint_ms] {
        std::printf("main_ms %.3f\npaint_ms %.3f\npainted_ms %.3f\n", main_ms_, paint_ms,
                    MonotonicMs());
        std::fflush(stdout);
        window_.close();
      });
    }
    return false;
  }

 private:
  QWidget& window_;
  double main_ms_;
  bool seen_ = false;
};

int RunChild(int argc, char** argv, double main_ms) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::unique_ptr<FirstPaint> filter;
  korvane::app::RunHooks hooks;
  const char* config_home = std::getenv("XDG_CONFIG_HOME");
  hooks.settings_file = std::string(config_home != nullptr ? config_home : ".") +
                        "/Korvane Connect/korvane-connect.ini";
  return korvane::app::RunApplication(
      argc, argv,
      [&](korvane::ui::SettingsStorage& settings,
          const korvane::ui::StartOptions& options) -> std::unique_ptr<QWidget> {
        auto window = std::make_unique<korvane::ui::TFormMain>(settings, options);
        filter = std::make_unique<FirstPaint>(*window, main_ms);
        QCoreApplication::instance()->installEventFilter(filter.get());
        return window;
      },
      hooks);
}

}  // namespace

int main(int argc, char** argv) {
  const double main_ms = MonotonicMs();
  if (argc > 1 && std::strcmp(argv[1], kChildSwitch) == 0) {
    return RunChild(argc, argv, main_ms);
  }

  std::vector<double> to_paint;
  std::vector<double> to_painted;
  std::vector<double> main_to_paint;
  for (int run = 0; run < kRuns; ++run) {
    korvane::bench::TempDir dir;
    auto pty = korvane::sim::Pty::Open();
    const auto env = korvane::bench::ProgramEnvironment(dir);
    korvane::bench::WriteProgramSettings(env.at("XDG_CONFIG_HOME"), pty->SlavePath(), 3);
    const double spawn_ms = MonotonicMs();
    korvane::bench::ChildProcess child({"/proc/self/exe", kChildSwitch, "-NOPROMPTONCLOSE"}, env,
                                       true);
    std::istringstream lines(child.ReadAllStdout(std::chrono::seconds(20)));
    const int code = child.Wait(std::chrono::seconds(20));
    double child_main = -1;
    double paint = -1;
    double painted = -1;
    std::string name;
    double value = 0;
    while (lines >> name >> value) {
      (name == "main_ms" ? child_main : name == "paint_ms" ? paint : painted) = value;
    }
    if (code != 0 || paint < 0) {
      std::cerr << "bench-startup: run " << run << " failed (exit " << code << ")\n";
      return 1;
    }
    // The first run loads the libraries from disk when they are not cached yet: not counted.
    if (run > 0) {
      to_paint.push_back(paint - spawn_ms);
      to_painted.push_back(painted - spawn_ms);
      main_to_paint.push_back(paint - child_main);
    }
  }
  korvane::bench::PrintNote(
      "process start -> first paint of the main window, offscreen; median of " +
      std::to_string(kRuns - 1) + " runs after one warm-up run");
  korvane::bench::PrintFigure("startup_ms_median", korvane::bench::Median(to_paint));
  korvane::bench::PrintFigure("startup_ms_max", korvane::bench::Percentile(to_paint, 100));
  korvane::bench::PrintFigure("startup_ms_from_main_median", korvane::bench::Median(main_to_paint));
  korvane::bench::PrintFigure("startup_ms_first_paint_done_median",
                              korvane::bench::Median(to_painted));
  return 0;
}
