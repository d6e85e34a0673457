// SPDX-License-Identifier: GPL-3.0-or-later
// Shows the main window against the built-in simulated charger, for looking at it:
//   ui_demo_window [seconds [settings|about]]
// closes after `seconds` (0: when closed); the second word also opens that dialog.
#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <cstring>

#include "fakes.h"
#include "korvane/link/port_map.h"
#include "korvane/ui/about_dialog.h"
#include "korvane/ui/form_main.h"
#include "korvane/ui/settings_dialog.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  korvane::ui::testing::FileStorage storage;
  storage.stored.ChartValuesMask = 0x3F;  // cells 5 to 7 unticked
  korvane::ui::StartOptions options;
  options.Demo = true;
  options.Debug = true;
  options.NoPromptOnClose = true;
  korvane::ui::TFormMain window(storage, options);
  window.show();
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 0;
  if (seconds > 0) {
    QTimer::singleShot(seconds * 1000, &window, &QWidget::close);
  }
  std::unique_ptr<QDialog> dialog;
  if (argc > 2 && std::strcmp(argv[2], "settings") == 0) {
    auto settings = std::make_unique<korvane::ui::TFormSettings>(window.Ports(), &window);
    settings->Select(0, 0);
    dialog = std::move(settings);
  } else if (argc > 2 && std::strcmp(argv[2], "about") == 0) {
    dialog = std::make_unique<korvane::ui::TFormAbout>(korvane::ui::ReadProgramVersion());
  }
  if (dialog) {
    dialog->show();
  }
  return app.exec();
}
