// The real program under a real X server (Xvfb) and a session manager of the test's own: a
// checkpoint or a cancelled log-off saves the settings and keeps the program running; the end of
// the session closes it without a prompt, saves and exits 0.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "xsmp_manager.h"

namespace korvane::system_test {
namespace {

using namespace std::chrono_literals;

// Generous: a program built with sanitizers starts and stops slowly.
constexpr auto kDeadline = 30s;
// How long a program that should go on running is watched for an exit.
constexpr auto kStillRunning = 1500ms;

// The sanitizer options variable `name` ("NAME=value") with `option` added (a later one wins).
std::string WithOption(const char* name, const std::string& option) {
  const char* options = getenv(name);
  return std::string(name) + "=" + (options != nullptr ? options + (":" + option) : option);
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// The current environment with `changes` ("NAME=value") replacing or adding variables.
std::vector<std::string> Environment(const std::vector<std::string>& changes) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('=') + 1);
    if (std::none_of(changes.begin(), changes.end(),
                     [&](const std::string& c) { return c.starts_with(name); })) {
      env.push_back(text);
    }
  }
  env.insert(env.end(), changes.begin(), changes.end());
  return env;
}

// A child process, its output to `log`. Killed when the test process dies.
class Child {
 public:
  Child(std::vector<std::string> argv, std::vector<std::string> env, const std::string& log,
        int inherited_fd = -1) {
    std::vector<char*> args;
    std::vector<char*> vars;
    for (std::string& a : argv) {
      args.push_back(a.data());
    }
    for (std::string& v : env) {
      vars.push_back(v.data());
    }
    args.push_back(nullptr);
    vars.push_back(nullptr);
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      signal(SIGPIPE, SIG_DFL);  // the session manager ignores it; the child must not inherit that
      dup2(out, STDOUT_FILENO);
      dup2(out, STDERR_FILENO);
      if (inherited_fd >= 0) {
        fcntl(inherited_fd, F_SETFD, 0);
      }
      execvpe(args[0], args.data(), vars.data());
      _exit(127);
    }
    close(out);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  // Asks a child still running to end (an X server then removes its socket), and kills it if it
  // does not within two seconds.
  ~Child() {
    if (Running()) {
      kill(pid_, SIGTERM);
      for (int i = 0; i < 200 && Running(); ++i) {
        usleep(10'000);
      }
    }
    if (Running()) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status_, 0);
    }
  }

  bool Running() {
    if (!ended_ && pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_) {
      ended_ = true;
    }
    return !ended_ && pid_ > 0;
  }
  // The exit code, once it has exited normally.
  std::optional<int> ExitCode() {
    if (Running() || !WIFEXITED(status_)) {
      return std::nullopt;
    }
    return WEXITSTATUS(status_);
  }

 private:
  pid_t pid_ = -1;
  int status_ = 0;
  bool ended_ = false;
};

// A private X server on a free display, reachable through its local socket only.
class XServer {
 public:
  explicit XServer(const std::string& log) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
      return;
    }
    server_.emplace(
        std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp",
                                 "-ac", "-screen", "0", "1280x1024x24"},
        Environment({}), log, fds[1]);
    close(fds[1]);
    std::string number;
    const auto end = std::chrono::steady_clock::now() + kDeadline;
    pollfd readable{fds[0], POLLIN, 0};
    char c = 0;
    while (std::chrono::steady_clock::now() < end && poll(&readable, 1, 100) >= 0) {
      if (readable.revents != 0) {
        if (read(fds[0], &c, 1) != 1 || c == '\n') {
          break;
        }
        number += c;
      }
    }
    close(fds[0]);
    if (c == '\n' && !number.empty()) {
      display_ = ":" + number;
      connection_ = xcb_connect(display_.c_str(), nullptr);
    }
  }
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;
  ~XServer() {
    if (connection_ != nullptr) {
      xcb_disconnect(connection_);
    }
  }

  bool Up() const { return connection_ != nullptr && xcb_connection_has_error(connection_) == 0; }
  const std::string& Display() const { return display_; }

  // Top-level windows shown now (on a display of its own: the program's).
  int ShownWindows() const {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root), nullptr);
    int shown = 0;
    for (int i = 0; tree != nullptr && i < xcb_query_tree_children_length(tree); ++i) {
      xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
          connection_, xcb_get_window_attributes(connection_, xcb_query_tree_children(tree)[i]),
          nullptr);
      shown += attributes != nullptr && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
      std::free(attributes);
    }
    std::free(tree);
    return shown;
  }

 private:
  std::optional<Child> server_;
  std::string display_;
  xcb_connection_t* connection_ = nullptr;
};

class Session : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(mkdtemp(dir_.data()), nullptr);
    settings_ = dir_ + "/config/Korvane Connect/korvane-connect.ini";
    std::filesystem::create_directories(settings_.parent_path());
    std::ofstream(settings_) << kSeed;
  }
  void TearDown() override {
    program_.reset();
    std::filesystem::remove_all(dir_);
  }

  void StartProgram(const XServer& x) {
    program_.emplace(
        std::vector<std::string>{KORVANE_CONNECT},
        Environment({"QT_QPA_PLATFORM=xcb", "DISPLAY=" + x.Display(),
                     "SESSION_MANAGER=" + manager_.NetworkIds(), "HOME=" + dir_,
                     "XDG_CONFIG_HOME=" + dir_ + "/config", "XDG_DATA_HOME=" + dir_ + "/data",
                     "XDG_RUNTIME_DIR=" + dir_, "ICEAUTHORITY=" + dir_ + "/iceauthority",
                     // No session bus: libdbus would start one for the display.
                     "DBUS_SESSION_BUS_ADDRESS=unix:path=" + dir_ + "/no-bus",
                     // The X libraries copy counted, unterminated strings.
                     WithOption("ASAN_OPTIONS", "intercept_strndup=0"),
                     // Qt's accessibility bridge, on X only, runs a DBus thread
                     // whose uninstrumented libraries share descriptors.
                     WithOption("TSAN_OPTIONS", "ignore_noninstrumented_modules=1")}),
        Log());
  }

  // True when the program is still running after a while of serving the manager.
  bool KeepsRunning() {
    return !manager_.ServeUntil([&] { return !program_->Running(); }, kStillRunning);
  }
  // Serves the manager until the client has answered one more save request.
  bool SaveAnswered(int before) {
    return manager_.ServeUntil([&] { return manager_.heard().saves_done > before; }, kDeadline);
  }
  std::string Settings() const { return ReadFile(settings_); }
  std::string Log() const { return dir_ + "/program.log"; }

  static constexpr const char* kSeed = "[GLOBAL]\nCommPort=70\n";
  std::string dir_ = (std::filesystem::temp_directory_path() / "korvane-session-XXXXXX").string();
  std::filesystem::path settings_;
  XsmpManager manager_;
  std::optional<Child> program_;
};

TEST_F(Session, CheckpointKeepsTheProgramRunningAndTheSessionEndClosesIt) {
  XServer x(dir_ + "/xvfb.log");
  ASSERT_TRUE(x.Up()) << "no X server (is Xvfb installed?): " << ReadFile(dir_ + "/xvfb.log");
  StartProgram(x);
  // Registered, and its window shown (so it has connected to the save requests).
  ASSERT_TRUE(manager_.ServeUntil(
      [&] { return manager_.heard().registered && x.ShownWindows() > 0; }, kDeadline))
      << ReadFile(Log());
  EXPECT_EQ(Settings(), kSeed);

  // Checkpoint. Qt asks the program to commit its data for a global save only (types Global and
  // Both); a local one asks for the restart state alone.
  int done = manager_.heard().saves_done;
  ASSERT_TRUE(manager_.SaveYourself(SmSaveBoth, false, SmInteractStyleNone, false));
  ASSERT_TRUE(SaveAnswered(done)) << ReadFile(Log());
  EXPECT_TRUE(manager_.heard().last_save_succeeded);
  manager_.SaveComplete();
  EXPECT_NE(Settings().find("Channel="), std::string::npos) << Settings();
  EXPECT_NE(Settings().find("ChartValuesMask="), std::string::npos) << Settings();
  ASSERT_TRUE(KeepsRunning()) << "a checkpoint ended the program: " << ReadFile(Log());

  // A log-off that is then cancelled.
  done = manager_.heard().saves_done;
  ASSERT_TRUE(manager_.SaveYourself(SmSaveBoth, true, SmInteractStyleNone, false));
  ASSERT_TRUE(SaveAnswered(done)) << ReadFile(Log());
  ASSERT_TRUE(manager_.ShutdownCancelled());
  ASSERT_TRUE(KeepsRunning()) << "a cancelled log-off ended the program: " << ReadFile(Log());

  // The end of the session: the close saves again (the file is gone before it).
  done = manager_.heard().saves_done;
  ASSERT_TRUE(manager_.SaveYourself(SmSaveBoth, true, SmInteractStyleNone, false));
  ASSERT_TRUE(SaveAnswered(done)) << ReadFile(Log());
  std::filesystem::remove(settings_);
  ASSERT_TRUE(manager_.Die());
  EXPECT_TRUE(manager_.ServeUntil([&] { return !program_->Running(); }, kDeadline))
      << "still running after the session ended; windows shown: " << x.ShownWindows() << "\n"
      << ReadFile(Log());
  EXPECT_EQ(program_->ExitCode(), 0) << ReadFile(Log());
  EXPECT_NE(Settings().find("ChartValuesMask="), std::string::npos) << Settings();
  EXPECT_EQ(manager_.heard().interact_requests, 0);
  EXPECT_TRUE(manager_.heard().errors.empty()) << manager_.heard().errors.front();
}

}  // namespace
}  // namespace korvane::system_test
