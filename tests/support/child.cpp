#include "korvane/test_support/child.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "korvane/test_support/wait.h"

namespace korvane::test_support {

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

Child::Child(std::vector<std::string> argv, std::vector<std::string> env, const std::string& log,
             int inherited_fd) {
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
  const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  pid_ = ::fork();
  if (pid_ == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::signal(SIGPIPE, SIG_DFL);  // a test process may ignore it; the child must not inherit that
    ::dup2(out, STDOUT_FILENO);
    ::dup2(out, STDERR_FILENO);
    if (inherited_fd >= 0) {
      ::fcntl(inherited_fd, F_SETFD, 0);
    }
    ::execvpe(args[0], args.data(), vars.data());
    ::_exit(127);
  }
  ::close(out);
}

Child::~Child() {
  if (Running()) {
    ::kill(pid_, SIGTERM);
    WaitUntil([&] { return !Running(); }, std::chrono::seconds(2));
  }
  if (Running()) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status_, 0);
  }
}

bool Child::Running() {
  if (!ended_ && pid_ > 0 && ::waitpid(pid_, &status_, WNOHANG) == pid_) {
    ended_ = true;
  }
  return !ended_ && pid_ > 0;
}

std::optional<int> Child::ExitCode() {
  if (Running() || !ended_ || !WIFEXITED(status_)) {
    return std::nullopt;
  }
  return WEXITSTATUS(status_);
}

void Child::Signal(int signal_number) {
  if (Running()) {
    ::kill(pid_, signal_number);
  }
}

std::optional<int> Child::Wait(std::chrono::milliseconds timeout) {
  WaitUntil([&] { return !Running(); }, timeout);
  return ExitCode();
}

}  // namespace korvane::test_support
