// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <sstream>

#include "fakes.h"
#include "packs/pack_dialog.h"
#include "packs/packs_table_model.h"
#include "packs/packs_window.h"
#include "runs/runs_window.h"
#include "runs_support.h"
#include "window_fixture.h"

namespace korvane::ui::testing {
namespace {

using record::EndState;
using record::Pack;
using record::RunSummary;

Pack MakePack(const char* name, int cells, int rated, bool retired = false) {
  return {.id = 0,
          .name = name,
          .chemistry = "LiPo",
          .cells = cells,
          .rated_mah = rated,
          .note = {},
          .retired = retired};
}

RunSummary Discharge(std::int64_t pack, std::int64_t start_ms, int mah, double ir) {
  RunSummary run = RunSpec(1, start_ms);
  run.kind = record::kRunDischarge;
  run.discharged_mah = static_cast<std::uint16_t>(mah);
  run.ir_mohm = ir;
  run.pack_id = pack;
  return run;
}

int PdfPages(const QString& file) {
  QFile in(file);
  if (!in.open(QIODevice::ReadOnly)) {
    return -1;
  }
  return static_cast<int>(
      QString::fromLatin1(in.readAll()).count(QRegularExpression("/Type\\s*/Page(?!s)")));
}

// Blue: two finished discharges, the newest at 68 % of its rating and its IR up from 20 to 35
// mOhm; Green: no runs; Red: retired with one run.
class PacksWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(locale.ok);
    record::Store store(path);
    blue = store.AddPack(MakePack("Blue 4S", 4, 2200));
    green = store.AddPack(MakePack("Green 2S", 2, 800));
    red = store.AddPack(MakePack("Red 3S", 3, 1000, true));
    WriteRun(store, Discharge(blue, kStartMs, 2100, 20.0), 3);
    WriteRun(store, Discharge(blue, kStartMs + 86'400'000, 1500, 35.0), 3);
    WriteRun(store, Discharge(red, kStartMs, 900, 30.0), 3);
  }

  void Open() {
    window = std::make_unique<PacksWindow>(path, storage, prompter, errors);
    window->show();
  }
  int Rows() const { return window->Rows().rowCount(); }
  QString Text(int row, PackColumn column, int role = Qt::DisplayRole) const {
    return window->Rows().index(row, static_cast<int>(column)).data(role).toString();
  }
  QStringList Names() const {
    QStringList names;
    for (int row = 0; row < Rows(); ++row) {
      names << Text(row, PackColumn::kName);
    }
    return names;
  }
  std::optional<Pack> Stored(std::int64_t id) const {
    return record::Store(path, record::StoreAccess::kRead).FindPack(id);
  }

  ScopedLocaleUtc locale{"C"};
  QTemporaryDir dir;
  const std::string path = dir.filePath("recordings.sqlite").toStdString();
  FileStorage storage;
  ScriptedPrompter prompter;
  std::ostringstream errors;
  std::int64_t blue = 0, green = 0, red = 0;
  std::unique_ptr<PacksWindow> window;
};

TEST_F(PacksWindowTest, ShowsFiguresMarksWeakPacksAndHidesRetired) {
  Open();
  ASSERT_EQ(Names(), QStringList({"Blue 4S", "Green 2S"}));
  const QStringList expected = {"Blue 4S", "LiPo", "4",    "2200", "2",
                                "2",       "",     "1500", "68.2", "35.0"};
  for (int column = 0; column < kPackColumnCount; ++column) {
    if (column != static_cast<int>(PackColumn::kLastUsed)) {
      EXPECT_EQ(Text(0, static_cast<PackColumn>(column)), expected[column]) << column;
    }
  }
  EXPECT_EQ(Text(0, PackColumn::kLastUsed), "11/15/23 22:13:22");
  EXPECT_EQ(Text(0, PackColumn::kName, Qt::ToolTipRole),
            "Health 68.2 % is below 80 %\nIR rose from 20.0 to 35.0 mOhm, by more than half");
  EXPECT_FALSE(window->Rows().index(0, 0).data(Qt::DecorationRole).isNull());
  EXPECT_TRUE(window->Rows().index(1, 0).data(Qt::DecorationRole).isNull());
  EXPECT_EQ(Text(1, PackColumn::kHealth), "");

  // A pack without the figure sorts after those with one, whichever the order.
  window->ShowRetiredBox()->setChecked(true);
  for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
    window->Table()->sortByColumn(static_cast<int>(PackColumn::kHealth), order);
    EXPECT_EQ(Names().back(), "Green 2S") << order;
  }
  window->Table()->sortByColumn(static_cast<int>(PackColumn::kRated), Qt::DescendingOrder);
  EXPECT_EQ(Names(), QStringList({"Blue 4S", "Red 3S", "Green 2S"}));  // 2200 > 1000 > 800
}

TEST_F(PacksWindowTest, PackDialogShowsEachRefusalAndKeepsWhatWasTyped) {
  Open();
  struct Case {
    QString name;
    int rated;
  };
  const std::vector<Case> cases = {
      {"", 1000}, {QString(65, 'x'), 1000}, {"Blue 4S", 1000}, {"Black 6S", 0}};
  for (const Case& c : cases) {
    QString problem;
    prompter.on_dialog = [&](QDialog& shown) {
      auto& dialog = dynamic_cast<PackDialog&>(shown);
      dialog.NameEdit()->setText(c.name);
      dialog.RatedBox()->setValue(c.rated);
      dialog.accept();
      problem = dialog.Problem();
      EXPECT_EQ(dialog.NameEdit()->text(), c.name);
      return dialog.result();
    };
    window->NewPack();
    Pack typed = MakePack("", 1, c.rated);
    typed.name = c.name.toStdString();
    const std::string expected = record::PackProblem(typed);
    // The duplicate passes PackProblem: the store's refusal, which names it, is shown instead.
    if (expected.empty()) {
      EXPECT_TRUE(problem.contains("\"Blue 4S\"")) << problem.toStdString();
    } else {
      EXPECT_EQ(problem.toStdString(), expected);
    }
  }
  EXPECT_EQ(Rows(), 2);

  // Corrected, the same dialog stores the pack and the window selects it.
  prompter.on_dialog = [&](QDialog& shown) {
    auto& dialog = dynamic_cast<PackDialog&>(shown);
    dialog.NameEdit()->setText("Blue 4S");
    dialog.RatedBox()->setValue(1300);
    dialog.accept();
    dialog.NameEdit()->setText("Blue 4S #2");
    dialog.accept();
    return dialog.result();
  };
  window->NewPack();
  EXPECT_EQ(Names(), QStringList({"Blue 4S", "Blue 4S #2", "Green 2S"}));
  ASSERT_EQ(window->SelectedPacks().size(), 1U);
  EXPECT_EQ(window->SelectedPacks().front().pack.rated_mah, 1300);
}

TEST_F(PacksWindowTest, DeleteOffersRetirementForAPackWithRuns) {
  Open();
  prompter.answer = Answer::kYes;
  window->SelectPacks({blue});
  window->DeleteSelected();
  ASSERT_EQ(prompter.shown.size(), 1U);
  EXPECT_EQ(prompter.shown[0].kind, "ask");
  EXPECT_TRUE(prompter.shown[0].text.contains("Retire it instead?"))
      << prompter.shown[0].text.toStdString();
  ASSERT_TRUE(Stored(blue));
  EXPECT_TRUE(Stored(blue)->retired);
  EXPECT_EQ(Names(), QStringList({"Green 2S"}));

  // Reactivated, then a pack without runs is deleted for good.
  window->ShowRetiredBox()->setChecked(true);
  window->SelectPacks({blue});
  EXPECT_EQ(window->RetireAction()->text(), "Re&activate");
  window->RetireSelected();
  EXPECT_FALSE(Stored(blue)->retired);
  window->SelectPacks({green});
  window->DeleteSelected();
  EXPECT_FALSE(Stored(green));
  EXPECT_EQ(Names(), QStringList({"Blue 4S", "Red 3S"}));
}

TEST_F(PacksWindowTest, ReportHasAPagePerPackAndMorePagesForLongRunLists) {
  {
    record::Store store(path);
    for (int i = 0; i < 120; ++i) {
      WriteRun(store, Discharge(green, kStartMs + (i + 2) * 86'400'000LL, 700, 40.0), 1);
    }
  }
  Open();
  const QString both = dir.filePath("both.pdf");
  window->SelectPacks({blue, red});  // Red is hidden: only Blue
  ASSERT_TRUE(window->ExportReport(both));
  EXPECT_EQ(PdfPages(both), 1);
  window->ShowRetiredBox()->setChecked(true);
  window->SelectPacks({blue, red});
  ASSERT_TRUE(window->ExportReport(both));
  EXPECT_EQ(PdfPages(both), 2);

  window->SelectPacks({green});
  const QString long_list = dir.filePath("green.pdf");
  ASSERT_TRUE(window->ExportReport(long_list));
  EXPECT_GE(PdfPages(long_list), 2);

  EXPECT_FALSE(window->ExportReport(dir.filePath("no-such-folder/report.pdf")));
  ASSERT_EQ(prompter.shown.size(), 1U);
  EXPECT_TRUE(prompter.shown[0].text.startsWith("Unable to write the pack report to"))
      << prompter.shown[0].text.toStdString();
}

class PacksMenuTest : public WindowTest {};

template <class Window>
std::vector<Window*> Shown() {
  std::vector<Window*> shown;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* found = qobject_cast<Window*>(widget); found && found->isVisible()) {
      shown.push_back(found);
    }
  }
  return shown;
}

// File > Packs... follows Runs... and opens one window; a chart point double-clicked shows its run
// in the Runs window; both close with the main window.
TEST_F(PacksMenuTest, OpensOnePacksWindowWhoseChartOpensRunsInTheRunsWindow) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("r.sqlite").toStdString();
  std::int64_t run_id = 0;
  {
    record::Store store(path);
    const std::int64_t pack = store.AddPack(MakePack("Blue 4S", 4, 2200));
    WriteRun(store, Discharge(pack, kStartMs, 2100, 20.0), 2);
    run_id = WriteRun(store, Discharge(pack, kStartMs + 60'000, 2000, 21.0), 2).id;
  }
  storage.recording = {.Enabled = false, .File = path};
  Open({.NoPromptOnClose = true});
  const QList<QAction*> items = window->findChild<QMenu*>("MenuFile")->actions();
  const qsizetype at = items.indexOf(window->findChild<QAction*>("MenuFilePacks"));
  ASSERT_GT(at, 0);
  EXPECT_EQ(items[at - 1]->objectName(), "MenuFileRuns");
  items[at]->trigger();
  items[at]->trigger();
  ASSERT_EQ(Shown<PacksWindow>().size(), 1U);
  emit Shown<PacksWindow>()[0]->Chart().RunActivated(run_id);
  ASSERT_EQ(Shown<RunsWindow>().size(), 1U);
  const std::vector<RunSummary> selected = Shown<RunsWindow>()[0]->SelectedRuns();
  ASSERT_EQ(selected.size(), 1U);
  EXPECT_EQ(selected[0].id, run_id);
  window->close();
  EXPECT_TRUE(Shown<PacksWindow>().empty());
  EXPECT_TRUE(Shown<RunsWindow>().empty());
}

}  // namespace
}  // namespace korvane::ui::testing
