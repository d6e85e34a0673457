// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QTemporaryDir>
#include <sstream>

#include "korvane/link/hardware_thread.h"
#include "window_fixture.h"

namespace korvane::ui::testing {
namespace {

class ExportTest : public WindowTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    StartCharger();
    Open();
    ASSERT_TRUE(WaitFrames(2));
  }

  // Answers the save dialog with `name`, after checking how it was set up.
  void Choose(const QString& name) {
    prompter.on_dialog = [name](QDialog& dialog) {
      auto& files = dynamic_cast<QFileDialog&>(dialog);
      EXPECT_EQ(files.windowTitle(), "Export data to file");
      EXPECT_EQ(files.nameFilters(), QStringList{"Tab separated values files (*.tsv)"});
      EXPECT_EQ(files.defaultSuffix(), "tsv");
      EXPECT_EQ(files.acceptMode(), QFileDialog::AcceptSave);
      EXPECT_FALSE(files.testOption(QFileDialog::DontConfirmOverwrite));
      files.selectFile(name);
      return int(QDialog::Accepted);
    };
  }

  QTemporaryDir dir;
};

TEST_F(ExportTest, WritesTheHistoryAndReportsSuccess) {
  Choose(dir.filePath("history"));  // no extension: ".tsv" is added
  window->MenuFileExportClick();
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].kind, "inform");
  EXPECT_EQ(prompter.shown[0].caption, "Korvane Connect");
  EXPECT_EQ(prompter.shown[0].text, "Data successfully exported.");
  QFile file(dir.filePath("history.tsv"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  // A header line and one line per record at least.
  EXPECT_GE(file.readAll().count('\n'), 3);
}

TEST_F(ExportTest, CancelWritesNothingAndShowsNothing) {
  prompter.on_dialog = [](QDialog&) { return int(QDialog::Rejected); };
  window->MenuFileExportClick();
  EXPECT_EQ(prompter.dialogs, 1);
  EXPECT_TRUE(prompter.shown.empty());
  EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST_F(ExportTest, FailureIsReportedAsAWarningAndCanBeRepeated) {
  ASSERT_TRUE(QDir(dir.path()).mkdir("taken.tsv"));
  Choose(dir.filePath("taken.tsv"));  // a folder cannot be replaced by the export
  window->MenuFileExportClick();
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].kind, "warn");
  EXPECT_TRUE(prompter.shown[0].text.startsWith("Unable to export data. Exception: "))
      << prompter.shown[0].text.toStdString();
  EXPECT_TRUE(prompter.shown[0].text.endsWith("."));
  EXPECT_FALSE(window->HardwareThread().Finished());

  Choose(dir.filePath("again.tsv"));
  window->MenuFileExportClick();
  ASSERT_EQ(prompter.shown.size(), 2u);
  EXPECT_EQ(prompter.shown[1].text, "Data successfully exported.");
}

// A name in a folder that does not exist (or below a plain file) returns to the dialog with a
// warning, instead of closing it and then failing.
TEST_F(ExportTest, MissingFolderKeepsTheDialogGoing) {
  QFile plain(dir.filePath("plain"));
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.close();
  const QStringList answers = {dir.filePath("missing/history.tsv"),
                               dir.filePath("plain/history.tsv"), dir.filePath("history.tsv")};
  prompter.on_dialog = [&](QDialog& dialog) {
    auto& files = dynamic_cast<QFileDialog&>(dialog);
    files.selectFile(answers.value(prompter.dialogs - 1));
    return prompter.dialogs <= answers.size() ? int(QDialog::Accepted) : int(QDialog::Rejected);
  };
  window->MenuFileExportClick();
  EXPECT_EQ(prompter.dialogs, 3);
  ASSERT_EQ(prompter.shown.size(), 3u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(prompter.shown[i].kind, "warn");
    EXPECT_EQ(prompter.shown[i].caption, "Export data to file");
    EXPECT_TRUE(prompter.shown[i].text.contains("does not exist"));
  }
  EXPECT_TRUE(prompter.shown[0].text.contains("/missing\n"));
  EXPECT_EQ(prompter.shown[2].text, "Data successfully exported.");
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("missing")));
}

// Settings that cannot be written at close: the reason is shown (in a box, or on stderr during a
// log-off, which no box may hold up) and the window closes anyway.
TEST(SaveFailureTest, UnwritableSettingsFolderStillLetsTheWindowClose) {
  for (const bool log_off : {false, true}) {
    SCOPED_TRACE(log_off ? "log-off" : "close");
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile plain(dir.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const std::string file =
        dir.filePath("plain/Korvane Connect/korvane-connect.ini").toStdString();
    const std::string message = "Unable to write to " + file + ": Not a directory";
    FileStorage storage(file);
    storage.stored.CommPort = 70;
    ScriptedPrompter prompter;
    prompter.answer = Answer::kYes;
    std::ostringstream err;
    TFormMain window(storage, {}, FormMainSeams{&prompter, &err});
    window.show();

    if (log_off) {
      EXPECT_TRUE(window.QueryEndSession());
      EXPECT_TRUE(prompter.shown.empty());
      EXPECT_EQ(err.str(), message + "\n");
    } else {
      window.SaveForSession();  // a checkpoint: reported on stderr only, and nothing stops
      EXPECT_TRUE(prompter.shown.empty());
      EXPECT_EQ(err.str(), message + "\n");
      EXPECT_FALSE(window.Closed());
      EXPECT_TRUE(window.close());
      ASSERT_EQ(prompter.shown.size(), 2u);
      EXPECT_EQ(prompter.shown[1].kind, "warn");
      EXPECT_EQ(prompter.shown[1].caption, "Korvane Connect");
      EXPECT_EQ(prompter.shown[1].text.toStdString(), message);
    }
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(window.Closed());
    EXPECT_TRUE(window.HardwareThread().Finished());
    EXPECT_EQ(storage.saves, 0);
  }
}

}  // namespace
}  // namespace korvane::ui::testing
