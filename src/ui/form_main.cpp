// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/form_main.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QScreen>
#include <QSessionManager>
#include <algorithm>
#include <exception>
#include <iostream>

#include "korvane/chart/trend_chart_widget.h"
#include "korvane/link/hardware_thread.h"
#include "korvane/link/port_map.h"
#include "korvane/model/hardware_data.h"
#include "korvane/ui/about_dialog.h"
#include "korvane/ui/chart_series_manager.h"
#include "korvane/ui/debug_trace.h"
#include "korvane/ui/demo_charger.h"
#include "korvane/ui/export_command.h"
#include "korvane/ui/fit_label.h"
#include "korvane/ui/fonts.h"
#include "korvane/ui/main_layout.h"
#include "korvane/ui/menu_icons.h"
#include "korvane/ui/prompter.h"
#include "korvane/ui/qt_dispatcher.h"
#include "korvane/ui/screen_fit.h"
#include "korvane/ui/settings_dialog.h"
#include "korvane/ui/status_lamp.h"
#include "korvane/ui/version.h"
#include "korvane/ui/window_recording.h"
#include "notify/run_notifier.h"
#include "packs/packs_window.h"
#include "runs/runs_window.h"

namespace korvane::ui {

// Members are destroyed bottom-up: the thread before the model, the model before the demo
// charger and the port map, the dispatcher last. The recording is a child of the client area
// and is stopped with acquisition. The Packs and Runs windows go first, before the recording
// (whose demo store they may have open).
struct TFormMain::Impl {
  Impl(SettingsStorage& settings, const StartOptions& options, FormMainSeams seams)
      : storage(settings),
        options(options),
        prompter(seams.prompter != nullptr ? seams.prompter : &own_prompter),
        trace_out(seams.trace != nullptr ? seams.trace : &std::cerr) {}

  SettingsStorage& storage;
  const StartOptions options;
  QtPrompter own_prompter;
  Prompter* prompter;
  std::ostream* trace_out;
  std::unique_ptr<DebugTrace> trace;
  ProgramVersion version;
  WindowSettings settings;
  MainControls controls;
  ChartSeriesManager* series = nullptr;
  WindowRecording* recording = nullptr;
  bool closed = false;
  bool session_ending = false;

  std::unique_ptr<QtUiDispatcher> dispatcher;
  link::PortMap ports;
  std::unique_ptr<DemoCharger> demo;
  std::unique_ptr<model::THardwareData> data;
  std::unique_ptr<link::THardwareThread> thread;
  std::unique_ptr<RunsWindow> runs;
  std::unique_ptr<PacksWindow> packs;
};

TFormMain::TFormMain(SettingsStorage& settings, const StartOptions& options, QWidget* parent)
    : TFormMain(settings, options, FormMainSeams{}, parent) {}

TFormMain::TFormMain(SettingsStorage& settings, const StartOptions& options, FormMainSeams seams,
                     QWidget* parent)
    : QMainWindow(parent), impl_(std::make_unique<Impl>(settings, options, seams)) {
  Impl& d = *impl_;
  setObjectName("FormMain");
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFont(UiFont(11));
  auto* client = new QWidget(this);
  client->setObjectName("ClientArea");
  setCentralWidget(client);
  d.controls = BuildMainLayout(client);
  BuildMenu();
  d.dispatcher = std::make_unique<QtUiDispatcher>();
  d.series = new ChartSeriesManager(d.controls.ChartCheckBoxes, d.controls.ButtonResetChart, this);
  ApplyChartDesign(d.controls.TrendChart->Chart());

  if (d.options.Debug) {
    d.trace = std::make_unique<DebugTrace>(*d.trace_out);
  }
  d.series->SetInitializing(true);

  d.settings = d.storage.Load();
  for (const auto& [number, path] : d.storage.PortOverrides()) {
    d.ports.SetOverride(number, path);
  }
  d.series->Load(d.settings.ChartValuesMask);

  d.version = ReadProgramVersion();
  setWindowTitle(MainCaption(d.version));

  d.data = std::make_unique<model::THardwareData>(*this, d.controls.TrendChart->Chart(),
                                                  d.settings.Channel, d.settings.ChartValuesMask);
  d.series->Attach(d.data.get());
  d.recording = new WindowRecording(
      client, *d.prompter, *d.data, d.storage.Recording(), d.options.Demo, d.trace.get(),
      new RunNotifier(d.storage.Notify(), d.options.DoSound), d.storage.Mqtt());
  d.thread = std::make_unique<link::THardwareThread>(*d.dispatcher, *this, *d.data, d.ports);
  if (d.trace) {
    DebugTrace* trace = d.trace.get();
    d.thread->SetTrace([trace](const std::string& line) { trace->Line(line); });
  }
  if (d.options.Demo) {
    try {
      d.demo = std::make_unique<DemoCharger>();
      // This run only: the override is never written to the settings file.
      d.ports.SetOverride(d.settings.CommPort, d.demo->DevicePath());
      d.demo->Start();
    } catch (const std::exception& e) {
      d.demo.reset();
      *d.trace_out << "demo: no simulated charger: " << e.what() << std::endl;
    }
  }

  try {
    ApplyCommPort();
    ApplyChannel();
  } catch (...) {
    // The running thread must not outlive a window that failed to finish construction.
    StopAcquisition();
    throw;
  }
  d.series->SetInitializing(false);

  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    connect(app, &QGuiApplication::commitDataRequest, this, &TFormMain::OnCommitData);
    app->installEventFilter(this);
  }
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  adjustSize();
  FitMainWindowOnScreen(*this);
}

TFormMain::~TFormMain() {
  Impl& d = *impl_;
  StopAcquisition();
  d.series->Attach(nullptr);
  d.thread.reset();
  d.data.reset();
  d.demo.reset();
}

void TFormMain::StopAcquisition() {
  // The thread may be waiting in a hand-off that calls this window: WaitFor serves it.
  impl_->thread->Terminate();
  impl_->thread->WaitFor();
  if (impl_->demo) {
    impl_->demo->Stop();
  }
  // Nothing feeds the recording any more: it writes the rest and ends the open runs.
  impl_->recording->Stop();
}

void TFormMain::BuildMenu() {
  QMenu* file = menuBar()->addMenu("&File");
  file->setObjectName("MenuFile");
  QAction* settings = file->addAction(SettingsIcon(), "&Settings...");
  settings->setObjectName("MenuFileSettings");
  settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
  file->addSeparator();
  QAction* export_data = file->addAction(ExportIcon(), "&Export Data...");
  export_data->setObjectName("MenuFileExport");
  export_data->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
  QAction* runs = file->addAction("&Runs...");
  runs->setObjectName("MenuFileRuns");
  runs->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  QAction* packs = file->addAction("&Packs...");
  packs->setObjectName("MenuFilePacks");
  file->addSeparator();
  QAction* exit = file->addAction(ExitIcon(), "E&xit");
  exit->setObjectName("MenuFileExit");
  exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  QMenu* help = menuBar()->addMenu("&Help");
  help->setObjectName("MenuHelp");
  QAction* about = help->addAction(AboutIcon(), "&About...");
  about->setObjectName("MenuHelpAbout");
  about->setShortcut(QKeySequence(Qt::Key_F1));

  connect(settings, &QAction::triggered, this, &TFormMain::MenuFileSettingsClick);
  connect(export_data, &QAction::triggered, this, &TFormMain::MenuFileExportClick);
  connect(runs, &QAction::triggered, this, &TFormMain::MenuFileRunsClick);
  connect(packs, &QAction::triggered, this, &TFormMain::MenuFilePacksClick);
  connect(exit, &QAction::triggered, this, &TFormMain::MenuFileExitClick);
  connect(about, &QAction::triggered, this, &TFormMain::MenuHelpAboutClick);
}

void TFormMain::SetCommStatus(const std::string& text, TColor color) {
  if (impl_->trace) {
    impl_->trace->Line("status: " + text);
  }
  impl_->controls.CommStatus->ShowStatus(text, color);
}

void TFormMain::SetCommDetail(const std::string& reason) {
  impl_->controls.CommStatus->ShowDetail(reason);
}

void TFormMain::ShowLiveValues(const model::LiveValues& v) {
  const MainControls& c = impl_->controls;
  const auto put = [](FitLabel* label, const std::string& text) {
    label->SetFittedText(QString::fromStdString(text));
  };
  put(c.LabelCurrentTime, v.CurrentTime);
  put(c.LabelStartTime, v.StartTime);
  put(c.LabelOperatingTime, v.OperatingTime);
  put(c.LabelOperationMode, v.OperationMode);
  put(c.LabelOperationStatus, v.OperationStatus);
  put(c.LabelCycleNumber, v.CycleNumber);
  put(c.LabelInputVoltage, v.InputVoltage);
  put(c.LabelOutputVoltage, v.OutputVoltage);
  put(c.LabelOutputCurrent, v.OutputCurrent);
  put(c.LabelOutputCapacity, v.OutputCapacity);
  put(c.LabelTemperature, v.Temperature);
  for (std::size_t i = 0; i < c.LabelCellVoltage.size(); ++i) {
    put(c.LabelCellVoltage[i], v.CellVoltage[i]);
  }
}

void TFormMain::ApplyCommPort() {
  impl_->controls.CommStatus->ShowPort(impl_->settings.CommPort);
  impl_->thread->ChangePort(impl_->settings.CommPort);
  impl_->thread->Resume();
}

void TFormMain::ApplyChannel() {
  impl_->controls.LabelRealTimeData->setText(
      QString("Real Time Data [Channel %1]").arg(impl_->settings.Channel));
  impl_->data->UpdateDisplay(impl_->settings.Channel);
}

void TFormMain::MenuFileSettingsClick() {
  TFormSettings dialog(impl_->ports, this);
  dialog.Select(impl_->settings.CommPort - 1, impl_->settings.Channel - 1);
  const int configured = impl_->settings.CommPort - 1;
  StatusLamp* lamp = impl_->controls.CommStatus;
  dialog.ShowOpenFailure(configured, lamp->Detail());
  connect(lamp, &StatusLamp::DetailChanged, &dialog, [&dialog, configured](const QString& reason) {
    dialog.ShowOpenFailure(configured, reason);
  });
  if (impl_->prompter->Exec(dialog) != QDialog::Accepted) {
    return;
  }
  impl_->settings.CommPort = dialog.PortIndex() + 1;
  ApplyCommPort();
  impl_->settings.Channel = dialog.ChannelIndex() + 1;
  ApplyChannel();
}

void TFormMain::MenuFileExportClick() {
  ExportDataCommand(this, *impl_->prompter, *impl_->data, impl_->storage);
}

void TFormMain::MenuFileRunsClick() {
  Impl& d = *impl_;
  if (!d.runs || !d.runs->isVisible()) {
    // A closed one has saved its settings; a new one reads them and the store afresh.
    d.runs.reset();
    d.runs = std::make_unique<RunsWindow>(d.recording->StorePath(), d.storage, *d.prompter,
                                          *d.trace_out);
    if (screen() != d.runs->screen()) {
      PlaceOnScreen(*d.runs, d.runs->size(), screen());
    }
    d.runs->show();
  } else if (d.runs->isMinimized()) {
    d.runs->showNormal();
  }
  d.runs->raise();
  d.runs->activateWindow();
}

void TFormMain::MenuFilePacksClick() {
  Impl& d = *impl_;
  if (!d.packs || !d.packs->isVisible()) {
    d.packs.reset();
    d.packs = std::make_unique<PacksWindow>(d.recording->StorePath(), d.storage, *d.prompter,
                                            *d.trace_out);
    connect(d.packs.get(), &PacksWindow::ShowRunRequested, this, [this](qint64 run_id) {
      MenuFileRunsClick();
      impl_->runs->ShowRun(run_id);
    });
    if (screen() != d.packs->screen()) {
      PlaceOnScreen(*d.packs, d.packs->size(), screen());
    }
    d.packs->show();
  } else if (d.packs->isMinimized()) {
    d.packs->showNormal();
  }
  d.packs->raise();
  d.packs->activateWindow();
}

void TFormMain::MenuFileExitClick() {
  close();
}

void TFormMain::MenuHelpAboutClick() {
  TFormAbout about(impl_->version, this);
  impl_->prompter->Exec(about);
}

bool TFormMain::FormCloseQuery() {
  if (impl_->options.NoPromptOnClose) {
    return true;
  }
  return impl_->prompter->Ask(this, kApplicationTitle, "Close the application?") == Answer::kYes;
}

QString TFormMain::SaveFailureText(const std::exception& error) const {
  QString message = QString::fromStdString(error.what());
  if (!message.startsWith("Unable to write to")) {
    message = QString("Unable to write to %1: %2")
                  .arg(QString::fromStdString(impl_->storage.FileName()), message);
  }
  return message;
}

void TFormMain::FormClose() {
  Impl& d = *impl_;
  if (d.closed) {
    return;
  }
  d.closed = true;
  if (d.packs) {
    d.packs->close();
  }
  if (d.runs) {
    d.runs->close();
  }
  StopAcquisition();
  try {
    d.storage.Save(CurrentSettings());
  } catch (const std::exception& e) {
    const QString message = SaveFailureText(e);
    // Closing goes on either way; during a log-off no box may hold it up.
    if (d.session_ending) {
      *d.trace_out << message.toStdString() << std::endl;
    } else {
      d.prompter->Warn(this, kApplicationTitle, message);
    }
  }
}

void TFormMain::closeEvent(QCloseEvent* event) {
  if (!impl_->closed && !impl_->session_ending && !FormCloseQuery()) {
    event->ignore();
    return;
  }
  FormClose();
  event->accept();
}

bool TFormMain::QueryEndSession() {
  impl_->session_ending = true;
  FormClose();
  close();
  return true;
}

void TFormMain::SaveForSession() {
  Impl& d = *impl_;
  if (d.closed) {
    return;  // the close has saved already
  }
  try {
    d.storage.Save(CurrentSettings());
  } catch (const std::exception& e) {
    // A session save must not wait on a box; the close will try again and tell the user.
    *d.trace_out << SaveFailureText(e).toStdString() << std::endl;
  }
}

void TFormMain::OnCommitData(QSessionManager&) {
  // A checkpoint, or a log-off that may still be cancelled: save, agree (by not cancelling the
  // manager) and go on running. If the session really ends, Qt then asks the program to quit.
  SaveForSession();
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
  // A quit asked of the whole application (the session manager's end of the session) closes
  // the window without the prompt, as a log-off does.
  if (event->type() == QEvent::Quit && watched == QCoreApplication::instance()) {
    impl_->session_ending = true;
  }
  return QMainWindow::eventFilter(watched, event);
}

WindowSettings TFormMain::CurrentSettings() const {
  WindowSettings current = impl_->settings;
  current.ChartValuesMask = impl_->series->Mask();
  return current;
}

const MainControls& TFormMain::Controls() const {
  return impl_->controls;
}

model::THardwareData& TFormMain::HardwareData() {
  return *impl_->data;
}

link::THardwareThread& TFormMain::HardwareThread() {
  return *impl_->thread;
}

const link::PortMap& TFormMain::Ports() const {
  return impl_->ports;
}

WindowRecording& TFormMain::Recording() {
  return *impl_->recording;
}

bool TFormMain::Closed() const {
  return impl_->closed;
}

}  // namespace korvane::ui
