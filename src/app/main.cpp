// SPDX-License-Identifier: GPL-3.0-or-later
#include <memory>

#include "korvane/app/run_application.h"
#include "korvane/ui/form_main.h"

int main(int argc, char** argv) {
  korvane::app::RunHooks hooks;
  hooks.end_session = [](QWidget& window) {
    static_cast<korvane::ui::TFormMain&>(window).QueryEndSession();
  };
  return korvane::app::RunApplication(
      argc, argv,
      [](korvane::ui::SettingsStorage& settings,
         const korvane::ui::StartOptions& options) -> std::unique_ptr<QWidget> {
        return std::make_unique<korvane::ui::TFormMain>(settings, options);
      },
      hooks);
}
