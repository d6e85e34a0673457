// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QString>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "korvane/model/hardware_data.h"
#include "korvane/test_support/wait.h"
#include "korvane/ui/app_services.h"
#include "korvane/ui/prompter.h"

namespace korvane::ui::testing {

// A model's view and chart that show nothing, for tests that feed the model directly.
struct NoView final : model::LiveView {
  void ShowLiveValues(const model::LiveValues&) override {}
};
struct NoChart final : model::ChartSink {
  void CreateLineSeries(int) override {}
  void BeginUpdate() override {}
  void EndUpdate() override {}
  void ClearSeries(int) override {}
  void AddPoint(int, double, double) override {}
};

// Settings kept in memory, written to a real file on Save (so an unwritable path fails as it
// would for the program). Counts saves.
class FileStorage final : public SettingsStorage {
 public:
  explicit FileStorage(std::string file = {}) : file_(std::move(file)) {}

  std::string FileName() const override { return file_; }
  WindowSettings Load() override { return stored; }
  std::map<int, std::string> PortOverrides() override { return ports; }
  RecordingSettings Recording() override { return recording; }
  void Save(const WindowSettings& settings) override {
    if (!file_.empty()) {
      std::ofstream out(file_, std::ios::trunc);
      out << "[GLOBAL]\nCommPort=" << settings.CommPort << "\nChannel=" << settings.Channel
          << "\nChartValuesMask=" << static_cast<std::int32_t>(settings.ChartValuesMask) << "\n";
      out.flush();
      if (!out) {
        throw std::runtime_error("Unable to write to " + file_ + ": " + std::strerror(errno));
      }
    }
    stored = settings;
    ++saves;
  }

  WindowSettings stored;
  std::map<int, std::string> ports;
  RecordingSettings recording{.Enabled = false, .File = {}};
  int saves = 0;

 private:
  std::string file_;
};

// Answers every box and dialog from the test; records what was shown.
class ScriptedPrompter final : public Prompter {
 public:
  struct Shown {
    QString kind;  // "ask", "inform", "warn", "tell"
    QString caption;
    QString text;
  };

  Answer Ask(QWidget*, const QString& caption, const QString& text) override {
    shown.push_back({"ask", caption, text});
    return answer;
  }
  void Inform(QWidget*, const QString& caption, const QString& text) override {
    shown.push_back({"inform", caption, text});
  }
  void Warn(QWidget*, const QString& caption, const QString& text) override {
    shown.push_back({"warn", caption, text});
  }
  void Tell(QWidget*, const QString& caption, const QString& text) override {
    shown.push_back({"tell", caption, text});
  }
  int Exec(QDialog& dialog) override {
    ++dialogs;
    return on_dialog ? on_dialog(dialog) : QDialog::Rejected;
  }

  Answer answer = Answer::kNo;
  std::function<int(QDialog&)> on_dialog;
  std::vector<Shown> shown;
  int dialogs = 0;
};

// Processes events until `done()` or the deadline; returns `done()`.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  return test_support::WaitUntil(
      done, timeout, [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); });
}

}  // namespace korvane::ui::testing
