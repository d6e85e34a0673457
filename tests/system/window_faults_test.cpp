// SPDX-License-Identifier: GPL-3.0-or-later
// The real window (offscreen) against what the user's machine may hold: a port another program
// has locked, export targets that cannot take the file, and a broken settings file or folder.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QFileDialog>
#include <csignal>
#include <filesystem>
#include <random>
#include <sstream>

#include "../ui/window_fixture.h"
#include "korvane/app/ini_settings_storage.h"
#include "korvane/link/hardware_thread.h"
#include "korvane/link/status.h"
#include "system_support.h"

namespace korvane::system_test {
namespace {

using ui::Answer;
using ui::FormMainSeams;
using ui::TFormMain;
using ui::testing::FileStorage;
using ui::testing::ScriptedPrompter;
using ui::testing::WaitUntil;

QString StatusOf(const TFormMain& window) {
  return window.Controls().CommStatus->StatusText()->text();
}

// A device another program holds: opened and locked with flock(LOCK_EX), as the program
// itself locks the port it uses.
TEST(HeldPort, AnotherProgramsLockShowsTheOpenErrorUntilItIsReleased) {
  auto pty = sim::Pty::Open();
  sim::RunnerOptions options;
  options.interval = std::chrono::milliseconds(100);
  sim::Runner runner(*pty,
                     sim::MakeScenario(sim::ScenarioKind::kChargeDischarge, sim::ScenarioOptions{}),
                     options);
  runner.Start();
  const int holder = ::open(pty->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);

  FileStorage storage;
  storage.ports[7] = pty->SlavePath();
  storage.stored.CommPort = 7;
  ScriptedPrompter prompter;
  LinkEvents events;
  EventLineBuffer lines(events);
  std::ostream trace(&lines);
  TFormMain window(storage, {.Debug = true, .NoPromptOnClose = true},
                   FormMainSeams{&prompter, &trace});
  window.show();
  ASSERT_TRUE(WaitUntil([&] { return StatusOf(window) == link::kStatusOpenFailed; }));
  EXPECT_EQ(window.Controls().CommStatus->Lamp()->EndColor(), QColor(0xFF, 0x00, 0x00));
  // Retried once a second while held; nothing decoded meanwhile.
  ASSERT_TRUE(WaitUntil([&] { return events.held >= 2; }));
  EXPECT_EQ(events.opened, 0u);
  EXPECT_EQ(window.HardwareData().HistorySize(), 0u);

  ::close(holder);
  ASSERT_TRUE(WaitUntil([&] { return StatusOf(window) == link::kStatusOk; }));
  ASSERT_TRUE(WaitUntil([&] { return window.HardwareData().HistorySize() >= 2; }));
  EXPECT_EQ(window.Controls().LabelOperationMode->text(), "Charge");
  EXPECT_TRUE(window.close());
  EXPECT_TRUE(window.HardwareThread().Finished());
}

// Caps the size of any file this process writes (RLIMIT_FSIZE) for the scope: a write past the
// cap fails with EFBIG, as on a full disk (SIGXFSZ ignored meanwhile).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, old_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit old_{};
  void (*old_handler_)(int) = nullptr;
};

struct ExportFailure {
  const char* name;
  // Prepares the target in the folder; returns the name to choose in the save dialog.
  std::function<std::string(const TempDir&)> prepare;
  const char* reason;
  bool limit_file_size = false;
};

void PrintTo(const ExportFailure& c, std::ostream* os) {
  *os << c.name;
}

class ExportFailureTest : public ui::testing::WindowTest,
                          public ::testing::WithParamInterface<ExportFailure> {
 protected:
  void SetUp() override {
    StartCharger();
    Open();
    ASSERT_TRUE(WaitFrames(2));
  }

  // Answers the save dialog with `name`, and runs File > Export.
  const ScriptedPrompter::Shown& Export(const std::string& name) {
    prompter.on_dialog = [name](QDialog& dialog) {
      dynamic_cast<QFileDialog&>(dialog).selectFile(QString::fromStdString(name));
      return int(QDialog::Accepted);
    };
    const std::size_t before = prompter.shown.size();
    window->MenuFileExportClick();
    EXPECT_EQ(prompter.shown.size(), before + 1);
    return prompter.shown.back();
  }

  TempDir dir;
};

TEST_P(ExportFailureTest, ClearMessagePreviousFileIntactAndTheProgramGoesOn) {
  const std::string previous = dir / "previous.tsv";
  ASSERT_EQ(Export(previous).text, "Data successfully exported.");
  const std::string previous_bytes = ReadFile(previous);
  ASSERT_GT(previous_bytes.size(), 512u);  // more than the limit below
  // The history grows, so a new export would differ from the previous file.
  ASSERT_TRUE(WaitFrames(window->HardwareData().HistorySize() + 1));

  const std::string chosen = GetParam().prepare(dir);
  const std::vector<std::string> listing = dir.Names();
  ScriptedPrompter::Shown shown;
  {
    std::unique_ptr<FileSizeLimit> limit;
    if (GetParam().limit_file_size) {
      limit = std::make_unique<FileSizeLimit>(512);
    }
    shown = Export(chosen);
  }
  EXPECT_EQ(shown.kind, "warn");
  EXPECT_EQ(shown.caption, "Korvane Connect");
  EXPECT_EQ(shown.text.toStdString(), "Unable to export data. Exception: Cannot write the file \"" +
                                          chosen + "\": " + GetParam().reason + ".");
  EXPECT_EQ(ReadFile(previous), previous_bytes);
  EXPECT_EQ(dir.Names(), listing);  // no temporary file left, nothing replaced

  // Still usable: acquisition goes on and the next export to a good path succeeds.
  const std::size_t frames = window->HardwareData().HistorySize();
  ASSERT_TRUE(WaitFrames(frames + 2));
  EXPECT_EQ(Status(), link::kStatusOk);
  EXPECT_FALSE(window->HardwareThread().Finished());
  EXPECT_EQ(Export(dir / "after.tsv").text, "Data successfully exported.");
  EXPECT_GE(ReadFile(dir / "after.tsv").size(), previous_bytes.size());
}

INSTANTIATE_TEST_SUITE_P(
    Targets, ExportFailureTest,
    ::testing::Values(ExportFailure{"FullDevice",
                                    [](const TempDir& d) {
                                      // A name with the suffix the dialog would otherwise add.
                                      std::filesystem::create_symlink("/dev/full", d / "full.tsv");
                                      return d / "full.tsv";
                                    },
                                    "No space left on device"},
                      ExportFailure{"NamedPipe",
                                    [](const TempDir& d) {
                                      // Opening it for writing would wait for a reader.
                                      const std::string fifo = d / "pipe.tsv";
                                      EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
                                      return fifo;
                                    },
                                    "Not a regular file"},
                      ExportFailure{"Directory",
                                    [](const TempDir& d) {
                                      std::filesystem::create_directory(d / "folder.tsv");
                                      return d / "folder.tsv";
                                    },
                                    "Is a directory"},
                      ExportFailure{"DiskFullOverThePreviousFile",
                                    [](const TempDir& d) { return d / "previous.tsv"; },
                                    "File too large", true}),
    [](const auto& info) { return std::string(info.param.name); });

struct BrokenSettings {
  const char* name;
  // Prepares the settings in the folder; returns the file's path.
  std::function<std::string(const TempDir&)> prepare;
  bool save_fails = false;
};

void PrintTo(const BrokenSettings& c, std::ostream* os) {
  *os << c.name;
}

std::string RandomBytes(std::size_t size, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    c = static_cast<char>(byte(rng));
  }
  return bytes;
}

std::string TenMegabytes() {
  std::string bytes;
  bytes.reserve(10u << 20);
  while (bytes.size() < (10u << 20)) {
    bytes += std::string(1023, 'z') + '\n';
  }
  return bytes;
}

class BrokenSettingsTest : public ::testing::TestWithParam<BrokenSettings> {};

// Defaults load, the window starts and acquires, and it still closes; a save that cannot be
// made is reported, one that can keeps the file's other content.
TEST_P(BrokenSettingsTest, DefaultsLoadTheWindowStartsAndStillCloses) {
  TempDir dir;
  const std::string file = GetParam().prepare(dir);
  const std::string before = ReadFile(file);
  app::IniSettingsStorage storage(file);
  ScriptedPrompter prompter;
  std::ostringstream trace;
  auto window = std::make_unique<TFormMain>(storage, ui::StartOptions{.NoPromptOnClose = true},
                                            FormMainSeams{&prompter, &trace});
  window->show();
  const ui::WindowSettings loaded = window->CurrentSettings();
  EXPECT_EQ(loaded.CommPort, 1);
  EXPECT_EQ(loaded.Channel, 1);
  EXPECT_EQ(loaded.ChartValuesMask, 3u);
  // The acquisition thread runs (port 1 names no device here).
  ASSERT_TRUE(WaitUntil([&] {
    return StatusOf(*window) == link::kStatusOpenFailed || StatusOf(*window) == link::kStatusOk;
  }));
  window->Controls().ChartCheckBoxes[2]->click();  // a change the close must save
  const std::uint32_t mask = window->CurrentSettings().ChartValuesMask;
  EXPECT_NE(mask, 3u);

  EXPECT_TRUE(window->close());
  EXPECT_TRUE(window->Closed());
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(window->HardwareThread().Finished());
  window.reset();

  if (GetParam().save_fails) {
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].kind, "warn");
    EXPECT_EQ(prompter.shown[0].text.toStdString(),
              "Unable to write to " + file + ": Not a directory");
    return;
  }
  EXPECT_TRUE(prompter.shown.empty());
  EXPECT_EQ(app::IniSettingsStorage(file).Load().ChartValuesMask, mask);
  const std::string after = ReadFile(file);
  EXPECT_GT(after.size(), before.size());
  if (before.find('[') == std::string::npos) {
    // Nothing in it to update: the old content is kept whole, the settings follow it.
    EXPECT_EQ(after.compare(0, before.size(), before), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, BrokenSettingsTest,
    ::testing::Values(
        BrokenSettings{"Corrupt",
                       [](const TempDir& d) {
                         WriteFile(d / "k.ini",
                                   "[GLOBAL\nCommPort=abc\n[GLOBAL]\nCommPort=x7\nChannel=9\n"
                                   "\x01\x02 = = =\n[PORTS\nCOM7\n==\n[");
                         return d / "k.ini";
                       }},
        BrokenSettings{"Binary",
                       [](const TempDir& d) {
                         std::string bytes = RandomBytes(64 << 10, 3);
                         std::replace(bytes.begin(), bytes.end(), '[', ' ');
                         WriteFile(d / "k.ini", bytes);
                         return d / "k.ini";
                       }},
        BrokenSettings{"TenMegabytes",
                       [](const TempDir& d) {
                         WriteFile(d / "k.ini", TenMegabytes());
                         return d / "k.ini";
                       }},
        BrokenSettings{"FolderIsAPlainFile",
                       [](const TempDir& d) {
                         WriteFile(d / "plain", "a file, not a folder");
                         return d / "plain/Korvane Connect/korvane-connect.ini";
                       },
                       true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korvane::system_test
