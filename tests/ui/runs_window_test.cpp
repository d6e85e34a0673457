// SPDX-License-Identifier: GPL-3.0-or-later
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <sstream>
#include "korvane/chart/review_plot_widget.h"

#include "korvane/record/run_files.h"
#include "runs/runs_plot_panel.h"
#include "runs/runs_table_model.h"
#include "runs/runs_window.h"
#include "runs_support.h"
#include "window_fixture.h"

namespace korvane::ui::testing {
namespace {

using chart::ReviewSeries;
using record::EndState;
using record::RunSummary;

// The RUNS section in memory; a save can be made to fail.
struct RunsStorage final : SettingsStorage {
  std::string FileName() const override { return "runs.ini"; }
  WindowSettings Load() override { return {}; }
  std::map<int, std::string> PortOverrides() override { return {}; }
  void Save(const WindowSettings&) override {}
  RunsWindowSettings RunsWindow() override { return runs; }
  ExportSettings Export() override { return exported; }
  void SaveExport(const ExportSettings& settings) override { exported = settings; }
  void SaveRunsWindow(const RunsWindowSettings& settings) override {
    if (fail) {
      throw std::runtime_error("Unable to write to runs.ini: No space left on device");
    }
    saved.push_back(settings);
  }
  RunsWindowSettings runs;
  ExportSettings exported;
  std::vector<RunsWindowSettings> saved;
  bool fail = false;
};

QByteArray ReadAll(const QString& file) {
  QFile in(file);
  return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

record::Pack PackSpec(const char* name, bool retired = false) {
  return {.name = name,
          .chemistry = "LiPo",
          .cells = 4,
          .rated_mah = 2200,
          .note = "",
          .retired = retired};
}

class RunsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(locale.ok); }

  void Open() {
    window = std::make_unique<RunsWindow>(path, storage, prompter, errors);
    window->show();
  }
  int Rows() const { return window->Rows().rowCount(); }
  QString Text(int row, RunColumn column) const {
    return window->Rows().index(row, static_cast<int>(column)).data().toString();
  }
  std::vector<std::int64_t> Selected() const {
    std::vector<std::int64_t> ids;
    for (const RunSummary& run : window->SelectedRuns()) {
      ids.push_back(run.id);
    }
    return ids;
  }
  const std::vector<chart::ReviewRun>& Plotted() const {
    return window->PlotPanel().Plot().Plot().Runs();
  }
  QString File(const char* name) const { return dir.filePath(name); }
  QString Shown(std::size_t i) const { return prompter.shown.at(i).text; }

  ScopedLocaleUtc locale{"C"};
  QTemporaryDir dir;
  const std::string path = dir.filePath("recordings.sqlite").toStdString();
  RunsStorage storage;
  ScriptedPrompter prompter;
  std::ostringstream errors;
  std::unique_ptr<RunsWindow> window;
};

TEST_F(RunsWindowTest, ListsRunsNewestFirstSortsByValueAndFilters) {
  {
    record::Store store(path);
    RunSummary a = RunSpec(1, kStartMs), b = RunSpec(2, kStartMs + 3'600'000, EndState::kError),
               c = RunSpec(1, kStartMs + 7'200'000);
    a.capacity_mah = 9000;
    b.kind = record::kRunBoth;
    b.capacity_mah = 10'000;
    b.energy_wh = 12.345;
    b.peak_temperature = -25;
    b.end_text = "Error: NO BATT";
    c.capacity_mah = 500;
    WriteRun(store, a, 3);
    WriteRun(store, b, 66);
    WriteRun(store, c, 1);
  }
  Open();
  EXPECT_EQ(window->windowTitle(), "Runs - Korvane Connect");
  ASSERT_EQ(Rows(), 3);
  EXPECT_EQ(Text(0, RunColumn::kStart), "11/15/23 00:13:20");
  EXPECT_EQ(Text(2, RunColumn::kStart), "11/14/23 22:13:20");
  const QStringList b = {
      "11/14/23 23:13:20", "2", "", "Cycle", "0 h 01 m 05 s", "10.000", "12.345", "", "-2.5\u00B0C",
      "Error: NO BATT"};
  for (int column = 0; column < kRunColumnCount; ++column) {
    EXPECT_EQ(Text(1, static_cast<RunColumn>(column)), b[column]) << column;
  }

  // As texts "10.000" would come before "9.000".
  window->Table()->sortByColumn(static_cast<int>(RunColumn::kCapacity), Qt::AscendingOrder);
  EXPECT_EQ(QStringList({Text(0, RunColumn::kCapacity), Text(1, RunColumn::kCapacity),
                         Text(2, RunColumn::kCapacity)}),
            QStringList({"0.500", "9.000", "10.000"}));
  window->ChannelFilter()->setCurrentIndex(2);
  ASSERT_EQ(Rows(), 1);
  EXPECT_EQ(Text(0, RunColumn::kChannel), "2");
}

TEST_F(RunsWindowTest, AMissingOrForeignStoreLeavesANoteAndTheFileAsItWas) {
  const QByteArray foreign = QByteArray("just some text, not a database\n").repeated(200);
  for (const auto& [bytes, note] : {std::pair{QByteArray(), "No recordings yet: "},
                                    std::pair{foreign, "The recordings cannot be shown: "}}) {
    if (!bytes.isEmpty()) {
      QFile file(QString::fromStdString(path));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    Open();
    window->Refresh();
    EXPECT_TRUE(window->Note().startsWith(note) &&
                window->Note().contains(QString::fromStdString(path)))
        << window->Note().toStdString();
    EXPECT_EQ(Rows(), 0);
    window.reset();
    EXPECT_EQ(QFile::exists(QString::fromStdString(path)), !bytes.isEmpty());
    EXPECT_EQ(ReadAll(QString::fromStdString(path)), bytes);
  }
}

// The selected run in progress keeps its row and selection while it grows and ends, its plot
// gets the new frames, and a run begun since is added.
TEST_F(RunsWindowTest, LiveUpdateShowsARunEndingAndNewRuns) {
  record::Store store(path);
  const fileio::UniqueFd recording = record::LockBesideStore(record::RecorderLockName(path), "");
  WriteRun(store, RunSpec(2, kStartMs), 2);
  RunSummary going = WriteRun(store, RunSpec(1, kStartMs + 10'000, EndState::kInProgress), 3);
  Open();
  window->SelectRuns({going.id});
  ASSERT_EQ(Plotted().size(), 1u);
  EXPECT_EQ(Plotted()[0].elapsedMs.size(), 3u);
  EXPECT_FALSE(window->DeleteAction()->isEnabled());

  going.end_state = EndState::kFinished;
  going.end_text = "Finished: CC-CV";
  going = WriteRun(store, going, 2);
  WriteRun(store, RunSpec(2, kStartMs + 60'000, EndState::kInProgress), 1);
  ASSERT_TRUE(
      WaitUntil([&] { return Rows() == 3 && Text(1, RunColumn::kEndState) == "Finished: CC-CV"; }));
  EXPECT_EQ(Text(0, RunColumn::kEndState), "In progress");
  EXPECT_EQ(Text(1, RunColumn::kDuration), "0 h 00 m 04 s");
  EXPECT_EQ(Selected(), std::vector<std::int64_t>{going.id});
  ASSERT_EQ(Plotted().size(), 1u);
  EXPECT_EQ(Plotted()[0].elapsedMs, (std::vector<double>{0, 1000, 2000, 3000, 4000}));
  EXPECT_TRUE(window->DeleteAction()->isEnabled());
}

TEST_F(RunsWindowTest, DeleteAsksWithTheCountAndNeverDeletesARunInProgress) {
  record::Store store(path);
  const fileio::UniqueFd recording = record::LockBesideStore(record::RecorderLockName(path), "");
  const RunSummary a = WriteRun(store, RunSpec(1, kStartMs), 2);
  const RunSummary b = WriteRun(store, RunSpec(2, kStartMs + 5'000), 2);
  const RunSummary going = WriteRun(store, RunSpec(1, kStartMs + 9'000, EndState::kInProgress), 2);
  Open();
  window->SelectRuns({a.id, going.id});
  EXPECT_FALSE(window->DeleteAction()->isEnabled());
  window->DeleteSelected();
  EXPECT_EQ(Shown(0), "A run in progress cannot be deleted.");

  window->SelectRuns({a.id, b.id});
  window->DeleteSelected();  // answered No
  EXPECT_EQ(prompter.shown.at(1).kind, "ask");
  EXPECT_EQ(Shown(1), "Delete 2 runs? This cannot be undone.");
  EXPECT_EQ(store.Runs().size(), 3u);

  prompter.answer = Answer::kYes;
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  QTest::keyClick(window->Table(), Qt::Key_Delete);
  ASSERT_EQ(store.Runs().size(), 1u);
  EXPECT_EQ(store.Runs()[0].id, going.id);
  EXPECT_EQ(Rows(), 1);
}

// The exported run is what `korvane-log export` writes; imported back it becomes a new run,
// selected, that exports the same bytes. Failures name the file and the reason.
TEST_F(RunsWindowTest, ExportsARunAsTsvAndImportsItBack) {
  record::Store store(path);
  const RunSummary run = WriteRun(store, RunSpec(1, kStartMs), 4);
  Open();
  window->SelectRuns({run.id});
  ASSERT_TRUE(window->ExportSelectedRun(File("run.tsv")));
  std::ostringstream expected;
  record::ExportRun(store, run.id, expected);
  EXPECT_EQ(ReadAll(File("run.tsv")).toStdString(), expected.str());

  // Its own export holds nothing new; another store's run comes in as a new run.
  ASSERT_TRUE(window->ImportRuns(File("run.tsv")));
  EXPECT_EQ(Rows(), 1);
  {
    record::Store other(File("other.sqlite").toStdString());
    const RunSummary elsewhere = WriteRun(other, RunSpec(2, kStartMs + 3'600'000), 4);
    std::ofstream out(File("other.tsv").toStdString(), std::ios::binary);
    record::ExportRun(other, elsewhere.id, out);
  }
  const std::int64_t pack = store.AddPack(PackSpec("Blue"));
  ASSERT_TRUE(window->ImportRuns(File("other.tsv"), pack));
  EXPECT_EQ(Rows(), 2);
  ASSERT_EQ(Selected().size(), 1u);
  EXPECT_NE(Selected()[0], run.id);
  EXPECT_EQ(store.Run(Selected()[0])->pack_id, pack);
  ASSERT_TRUE(window->ExportSelectedRun(File("again.tsv")));
  EXPECT_EQ(ReadAll(File("again.tsv")), ReadAll(File("other.tsv")));

  QFile bad(File("bad.tsv"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write(ReadAll(File("run.tsv")) + "garbage\r\n");
  bad.close();
  EXPECT_FALSE(window->ImportRuns(File("bad.tsv")));
  EXPECT_FALSE(window->ExportSelectedRun(File("no/such/folder/run.tsv")));
  ASSERT_EQ(prompter.shown.size(), 2u);
  EXPECT_TRUE(Shown(0).contains("bad.tsv") && Shown(0).contains("line 6"))
      << Shown(0).toStdString();
  EXPECT_TRUE(Shown(1).contains("no/such/folder/run.tsv: No such file")) << Shown(1).toStdString();
  EXPECT_EQ(store.Runs().size(), 2u);
}

TEST_F(RunsWindowTest, PlotsTheSelectedRunsAndSeriesAndExportsThePlot) {
  record::Store store(path);
  const RunSummary a = WriteRun(store, RunSpec(1, kStartMs), 3);
  const RunSummary b = WriteRun(store, RunSpec(2, kStartMs + 60'000), 5);
  Open();
  RunsPlotPanel& panel = window->PlotPanel();
  EXPECT_EQ(panel.Plot().Plot().Shown(), 0x201u);  // output voltage and current

  window->SelectRuns({a.id, b.id});
  ASSERT_EQ(Plotted().size(), 2u);
  EXPECT_EQ(Plotted()[0].label, "11/14/23 22:14:20 Ch 2");
  EXPECT_EQ(Plotted()[0].startUtcMs, b.start_ms);
  EXPECT_EQ(Plotted()[0].values[0], (std::vector<double>{4, 4.001, 4.002, 4.003, 4.004}));
  EXPECT_EQ(Plotted()[1].label, "11/14/23 22:13:20 Ch 1");
  panel.SeriesBox(ReviewSeries::kCell1)->click();
  panel.SeriesBox(ReviewSeries::kCurrent)->click();
  EXPECT_EQ(panel.Plot().Plot().Shown(), 0x5u);

  ASSERT_TRUE(window->ExportPlotPng(File("plot.png")));
  EXPECT_TRUE(ReadAll(File("plot.png")).startsWith("\x89PNG"));
  ASSERT_TRUE(window->ExportPlotSvg(File("plot.svg")));
  EXPECT_TRUE(ReadAll(File("plot.svg")).contains("<svg"));
  window->CopyPlot();
  EXPECT_EQ(QApplication::clipboard()->image().size(), panel.Plot().size());
  // + zooms around the middle of the plot.
  const chart::ReviewView& view = panel.Plot().Plot().View();
  QTest::keyClick(&panel.Plot(), Qt::Key_Plus);
  EXPECT_NEAR(view.End() - view.Start(), 3200, 1e-6);
  EXPECT_NEAR(view.Start(), 400, 20);  // a few pixels
  EXPECT_FALSE(window->ExportPlotSvg(File("none/plot.svg")));
  EXPECT_TRUE(Shown(0).startsWith("Unable to write " + File("none/plot.svg") + ": "));
}

TEST_F(RunsWindowTest, RestoresItsSettingsAndSavesThemOnCloseWithoutABox) {
  storage.runs = {
      .Width = 640, .Height = 480, .SplitterSizes = {}, .SeriesMask = 0x800, .Channel = 2};
  Open();
  EXPECT_EQ(window->size(), QSize(640, 480));
  EXPECT_EQ(window->PlotPanel().Shown(), 0x800u);
  EXPECT_EQ(window->ChannelFilter()->currentIndex(), 2);
  window->ChannelFilter()->setCurrentIndex(1);
  window->PlotPanel().SeriesBox(ReviewSeries::kCurrent)->click();
  window->close();
  ASSERT_EQ(storage.saved.size(), 1u);
  EXPECT_EQ(storage.saved[0],
            (RunsWindowSettings{640, 480, window->CurrentSettings().SplitterSizes, 0xA00u, 1}));
  EXPECT_EQ(storage.saved[0].SplitterSizes.size(), 2u);

  storage.fail = true;
  Open();
  window->close();
  EXPECT_EQ(errors.str(), "Unable to write to runs.ini: No space left on device\n");
  EXPECT_TRUE(prompter.shown.empty());
}

// A run begun since the last refresh is in the table after the next one, also when the file was
// replaced in between (a damaged one moved aside and a new one begun).
TEST_F(RunsWindowTest, TheNextRefreshShowsARunBegunSince) {
  { record::Store store(path); }
  Open();
  for (const int channel : {1, 2}) {
    if (channel == 2) {
      record::MoveAside(path);
    }
    record::Store store(path);
    WriteRun(store, RunSpec(channel, kStartMs), 1);
    window->Refresh();
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Text(0, RunColumn::kChannel), QString::number(channel));
  }
}

// The file dialogs offer a name after the selected run in the folder last written to (at first
// the home folder); a cancelled dialog remembers nothing.
TEST_F(RunsWindowTest, FileDialogsOfferTheRunsNameInTheLastFolder) {
  record::Store store(path);
  const RunSummary run = WriteRun(store, RunSpec(1, kStartMs), 2);
  Open();
  window->SelectRuns({run.id});
  QStringList offered;
  prompter.on_dialog = [&](QDialog& dialog) {
    auto& files = dynamic_cast<QFileDialog&>(dialog);
    offered << files.selectedFiles().value(0);
    files.selectFile(File("mine.tsv"));
    return offered.size() == 1 ? int(QDialog::Accepted) : int(QDialog::Rejected);
  };
  for (const char* action :
       {"RunsMenuFileExportRun", "RunsMenuFileExportPng", "RunsMenuFileExportSvg"}) {
    window->findChild<QAction*>(action)->trigger();
  }
  const QString name = QString("korvane-run-%1-20231114.").arg(run.id);
  EXPECT_EQ(offered, QStringList({QDir::homePath() + "/" + name + "tsv", dir.filePath(name + "png"),
                                  dir.filePath(name + "svg")}));
  EXPECT_EQ(storage.exported.Folder, dir.path().toStdString());
}

// The Pack column and filter; the selection (a run in progress too) goes to a pack chosen in the
// small dialog, or to none, in the store; a refusal is a box; ShowRun clears the filters hiding
// its run.
TEST_F(RunsWindowTest, PackColumnFilterAndAssigningTheSelection) {
  record::Store store(path);
  const fileio::UniqueFd recording = record::LockBesideStore(record::RecorderLockName(path), "");
  const std::int64_t blue = store.AddPack(PackSpec("Blue 4S #3"));
  const std::int64_t red = store.AddPack(PackSpec("Red"));
  RunSummary planned = RunSpec(1, kStartMs);
  planned.pack_id = blue;
  const RunSummary a = WriteRun(store, planned, 2);
  const RunSummary b = WriteRun(store, RunSpec(2, kStartMs + 5'000), 2);
  const RunSummary going = WriteRun(store, RunSpec(1, kStartMs + 9'000, EndState::kInProgress), 2);
  Open();
  ASSERT_EQ(Rows(), 3);
  EXPECT_EQ(Text(2, RunColumn::kPack), "Blue 4S #3");
  EXPECT_EQ(Text(1, RunColumn::kPack), "");
  QComboBox* filter = window->PackFilter();
  ASSERT_EQ(filter->count(), 4);
  EXPECT_EQ(filter->itemText(0) + filter->itemText(1) + filter->itemText(3), "All packsNo packRed");
  filter->setCurrentIndex(1);
  EXPECT_EQ(Rows(), 2);

  window->SelectRuns({b.id, going.id});
  prompter.on_dialog = [](QDialog& dialog) {
    auto* combo = dialog.findChild<QComboBox*>("PackChooserCombo");
    combo->setCurrentIndex(combo->findText("Red"));
    return int(QDialog::Accepted);
  };
  ASSERT_TRUE(window->AssignAction()->isEnabled());
  window->AssignAction()->trigger();
  EXPECT_EQ(store.Run(b.id)->pack_id, red);
  EXPECT_EQ(store.Run(going.id)->pack_id, red);
  EXPECT_EQ(Rows(), 0);

  window->ChannelFilter()->setCurrentIndex(2);
  window->ShowRun(a.id);
  EXPECT_EQ(window->ChannelFilter()->currentIndex(), 0);
  EXPECT_EQ(filter->currentIndex(), 0);
  EXPECT_EQ(Selected(), std::vector<std::int64_t>{a.id});
  ASSERT_EQ(Plotted().size(), 1u);
  window->NoPackAction()->trigger();
  EXPECT_EQ(store.Run(a.id)->pack_id, 0);
  EXPECT_EQ(Text(2, RunColumn::kPack), "");

  EXPECT_FALSE(window->AssignSelected(red + 100));
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].kind, "warn");
  EXPECT_EQ(store.Run(a.id)->pack_id, 0);
}

// The bar offers the packs not retired and keeps each channel's choice in the store; another
// program's choice and renaming show at the next refresh, in the bar and the table.
TEST_F(RunsWindowTest, ChannelBarKeepsEachChannelsPackInTheStore) {
  record::Store store(path);
  record::Pack blue = PackSpec("Blue 4S #3");
  blue.id = store.AddPack(blue);
  store.AddPack(PackSpec("Old", true));
  RunSummary planned = RunSpec(1, kStartMs);
  planned.pack_id = blue.id;
  WriteRun(store, planned, 2);
  Open();
  QComboBox* two = window->PackBar().Combo(2);
  ASSERT_EQ(two->count(), 2);
  two->setCurrentIndex(1);
  EXPECT_EQ(store.ChosenPacks(), (std::array<std::int64_t, 2>{0, blue.id}));

  blue.name = "Blue 4S #4";
  store.EditPack(blue);
  store.ChoosePack(1, blue.id);
  window->Refresh();
  EXPECT_EQ(window->PackBar().Combo(1)->currentText(), "Blue 4S #4");
  EXPECT_EQ(two->currentText(), "Blue 4S #4");
  EXPECT_EQ(Text(0, RunColumn::kPack), "Blue 4S #4");
}

class RunsMenuTest : public WindowTest {};

// File > Runs... follows Export Data...; a second choice raises the same window, which shows the
// store the main window would record into and closes with it.
TEST_F(RunsMenuTest, OpensOneRunsWindowThatClosesWithTheMainWindow) {
  QTemporaryDir dir;
  storage.recording = {.Enabled = false, .File = dir.filePath("r.sqlite").toStdString()};
  Open({.NoPromptOnClose = true});
  const QList<QAction*> items = window->findChild<QMenu*>("MenuFile")->actions();
  const qsizetype at = items.indexOf(window->findChild<QAction*>("MenuFileRuns"));
  ASSERT_GT(at, 0);
  EXPECT_EQ(items[at - 1]->objectName(), "MenuFileExport");
  EXPECT_EQ(items[at]->shortcut(), QKeySequence("Ctrl+R"));
  const auto shown = [] {
    std::vector<RunsWindow*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* runs = qobject_cast<RunsWindow*>(widget); runs && runs->isVisible()) {
        windows.push_back(runs);
      }
    }
    return windows;
  };

  items[at]->trigger();
  items[at]->trigger();
  ASSERT_EQ(shown().size(), 1u);
  EXPECT_EQ(shown()[0]->Note(), "No recordings yet: " + dir.filePath("r.sqlite"));
  window->close();
  EXPECT_TRUE(shown().empty());
  EXPECT_FALSE(QFile::exists(dir.filePath("r.sqlite")));
}

}  // namespace
}  // namespace korvane::ui::testing
