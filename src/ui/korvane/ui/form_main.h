// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>
#include <exception>
#include <memory>
#include <ostream>
#include <string>

#include "korvane/link/status.h"
#include "korvane/model/live_view.h"
#include "korvane/ui/app_services.h"

class QSessionManager;

namespace korvane::link {
class PortMap;
class THardwareThread;
}  // namespace korvane::link
namespace korvane::model {
class THardwareData;
}

namespace korvane::ui {

class Prompter;
class RunsWindow;
class WindowRecording;
struct MainControls;

// What tests replace; the defaults are the real dialogs and stderr.
struct FormMainSeams {
  Prompter* prompter = nullptr;   // not owned; must outlive the window
  std::ostream* trace = nullptr;  // where DEBUG lines go
};

// The main window: owns the telemetry model and the acquisition thread, shows the live values of
// one charger channel, the link status and the chart, and offers settings, export, the recorded
// runs and packs, exit and about. Closing asks first (unless NoPromptOnClose), then closes the
// Packs and Runs windows, stops the thread and saves the settings.
class TFormMain : public QMainWindow, public link::CommStatusView, public model::LiveView {
  Q_OBJECT

 public:
  TFormMain(SettingsStorage& settings, const StartOptions& options, QWidget* parent = nullptr);
  TFormMain(SettingsStorage& settings, const StartOptions& options, FormMainSeams seams,
            QWidget* parent = nullptr);
  ~TFormMain() override;

  // Reached from the acquisition thread by hand-off; always on the UI thread.
  void SetCommStatus(const std::string& text, TColor color) override;
  void SetCommDetail(const std::string& reason) override;
  void ShowLiveValues(const model::LiveValues& values) override;

  void ApplyCommPort();
  void ApplyChannel();

  void MenuFileSettingsClick();
  void MenuFileExportClick();
  // Opens the Runs window on the store this window records into, or raises the open one.
  void MenuFileRunsClick();
  // Opens the Packs window on the same store, or raises the open one.
  void MenuFilePacksClick();
  void MenuFileExitClick();
  void MenuHelpAboutClick();

  // Log-off or shut-down: agrees at once without the prompt; stops acquisition, saves the
  // settings and closes. Returns true (the answer to the session).
  bool QueryEndSession();
  // A session save request (checkpoint, or a log-off that may yet be cancelled): saves the
  // settings and keeps running. A failure goes to the trace stream, never to a box.
  void SaveForSession();

  // The settings as they stand now (what a close would save).
  WindowSettings CurrentSettings() const;
  const MainControls& Controls() const;
  model::THardwareData& HardwareData();
  link::THardwareThread& HardwareThread();
  const link::PortMap& Ports() const;
  WindowRecording& Recording();
  // True once the close protocol has stopped acquisition.
  bool Closed() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Impl;

  void BuildMenu();
  void StopAcquisition();
  bool FormCloseQuery();
  void FormClose();
  QString SaveFailureText(const std::exception& error) const;
  void OnCommitData(QSessionManager& manager);

  std::unique_ptr<Impl> impl_;
};

}  // namespace korvane::ui
