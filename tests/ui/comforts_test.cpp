// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include "korvane/ui/export_command.h"
#include "window_fixture.h"

namespace korvane::ui::testing {
namespace {

using ComfortsTest = WindowTest;

// What a command shows: the dialogs it runs, the questions it asks, the windows it opens.
QStringList Seen(const ScriptedPrompter& prompter, const QStringList& dialogs) {
  QStringList seen = dialogs;
  for (const auto& shown : prompter.shown) {
    seen << shown.kind + ": " + shown.text;
  }
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->isVisible() && widget->windowTitle().startsWith("Runs")) {
      seen << widget->windowTitle();
    }
  }
  return seen;
}

TEST_F(ComfortsTest, EachShortcutReachesItsCommand) {
  QTemporaryDir dir;
  storage.recording = {.Enabled = false, .File = dir.filePath("r.sqlite").toStdString()};
  QStringList dialogs;
  prompter.on_dialog = [&](QDialog& dialog) {
    dialogs << dialog.windowTitle();
    return int(QDialog::Rejected);
  };
  Open();
  QApplication::setActiveWindow(window.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));

  const struct {
    const char* keys;
    QString seen;
  } kCases[] = {
      {"Ctrl+,", "Korvane Connect Settings"}, {"Ctrl+E", "Export data to file"},
      {"F1", "About Korvane Connect"},        {"Ctrl+Q", "ask: Close the application?"},
      {"Ctrl+R", "Runs - Korvane Connect"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.keys);
    dialogs.clear();
    prompter.shown.clear();
    QTest::keySequence(window.get(), QKeySequence(c.keys));
    EXPECT_EQ(Seen(prompter, dialogs).join(" | ").toStdString(), c.seen.toStdString());
  }
  EXPECT_TRUE(window->isVisible());  // the close was declined
}

TEST_F(ComfortsTest, FileMenuAccessLettersAreDistinctAndCaptionsUnchanged) {
  Open();
  QStringList captions;
  QSet<QKeyCombination> letters;
  for (QAction* item : window->findChild<QMenu*>("MenuFile")->actions()) {
    if (!item->isSeparator()) {
      captions << QString(item->text()).remove('&');
      letters.insert(QKeySequence::mnemonic(item->text())[0]);
    }
  }
  EXPECT_EQ(captions,
            (QStringList{"Settings...", "Export Data...", "Runs...", "Packs...", "Exit"}));
  EXPECT_EQ(letters.size(), captions.size());
  EXPECT_EQ(QKeySequence::mnemonic(window->findChild<QAction*>("MenuFileExport")->text()),
            QKeySequence(Qt::ALT | Qt::Key_E));
}

TEST_F(ComfortsTest, SeriesBoxesSayWhatTheyShowByTheirCaption) {
  Open();
  const auto caption = [this](const char* name) {
    return window->findChild<QLabel*>(name)->text().remove(" [V]").remove(':');
  };
  EXPECT_EQ(C().ChartCheckBoxes[0]->toolTip(), "Show Input Voltage in the chart");
  EXPECT_EQ(C().ChartCheckBoxes[1]->toolTip(),
            "Show " + caption("LabelLabelOutputVoltage") + " in the chart");
  for (int n = 1; n <= 7; ++n) {
    EXPECT_EQ(
        C().ChartCheckBoxes[n + 1]->toolTip(),
        "Show " + caption(qPrintable(QString("LabelLabelCellVoltage%1").arg(n))) + " in the chart");
  }
  EXPECT_EQ(C().ChartCheckBoxes[2]->toolTip(), "Show Cell No.1 in the chart");
}

TEST(SuggestedExportPath, TheRememberedFolderWhileItIsOneElseHome) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkdir("kept"));
  QFile plain(dir.filePath("plain"));
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  const QDateTime at(QDate(2026, 12, 9), QTime(14, 30, 5));
  const struct {
    QString remembered;
    QString folder;
  } kCases[] = {
      {dir.filePath("kept"), dir.filePath("kept")},
      {"", QDir::homePath()},
      {dir.filePath("gone"), QDir::homePath()},
      {dir.filePath("plain"), QDir::homePath()},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(SuggestedExportPath(c.remembered.toStdString(), at),
              c.folder + "/korvane-20261209-143005.tsv")
        << c.remembered.toStdString();
  }
}

// Remembers what it is told about the export folder; everything else is fixed.
class ExportFolderStorage final : public SettingsStorage {
 public:
  std::string FileName() const override { return {}; }
  WindowSettings Load() override { return {.CommPort = 70}; }  // a port without a device
  std::map<int, std::string> PortOverrides() override { return {}; }
  void Save(const WindowSettings&) override {}
  ExportSettings Export() override { return stored; }
  void SaveExport(const ExportSettings& settings) override { stored = settings; }

  ExportSettings stored;
};

TEST(ExportFolder, TheDialogOffersANameInTheLastFolderAndASuccessMovesIt) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkpath("first") && QDir(dir.path()).mkpath("second"));
  ExportFolderStorage storage;
  storage.stored.Folder = dir.filePath("first").toStdString();
  ScriptedPrompter prompter;
  TFormMain window(storage, {.NoPromptOnClose = true}, FormMainSeams{&prompter, nullptr});
  QStringList offered;
  QString answer;
  prompter.on_dialog = [&](QDialog& dialog) {
    auto& files = dynamic_cast<QFileDialog&>(dialog);
    offered << files.selectedFiles().value(0);
    files.selectFile(answer);
    return answer.isEmpty() ? int(QDialog::Rejected) : int(QDialog::Accepted);
  };
  const QRegularExpression name("/korvane-\\d{8}-\\d{6}\\.tsv$");

  window.MenuFileExportClick();  // cancelled: nothing remembered
  answer = dir.filePath("second/mine.tsv");
  window.MenuFileExportClick();
  answer.clear();
  window.MenuFileExportClick();
  ASSERT_EQ(offered.size(), 3);
  EXPECT_TRUE(offered[0].startsWith(dir.filePath("first/"))) << offered[0].toStdString();
  EXPECT_TRUE(offered[2].startsWith(dir.filePath("second/"))) << offered[2].toStdString();
  for (const QString& path : offered) {
    EXPECT_TRUE(name.match(path).hasMatch()) << path.toStdString();
  }
  EXPECT_EQ(storage.stored.Folder, dir.filePath("second").toStdString());
  EXPECT_TRUE(QFile::exists(dir.filePath("second/mine.tsv")));
}

}  // namespace
}  // namespace korvane::ui::testing
