// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace korvane::sim {
class Pty;
class Runner;
struct RunnerOptions;
}  // namespace korvane::sim

// Helpers shared by the system benchmarks: processes, /proc readings, temp folders, statistics.
namespace korvane::bench {

// CLOCK_MONOTONIC in milliseconds; comparable between processes of one machine.
double MonotonicMs();

// A fresh folder below the temp dir, removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  // Creates `relative` (and its parents) below the folder; returns its full path.
  std::string MakeFolder(const std::string& relative) const;

 private:
  std::string path_;
};

void WriteTextFile(const std::string& path, const std::string& content);

// The number of descriptors of process `pid` open on `path`.
int CountOpenDescriptors(pid_t pid, const std::string& path);

// Polls `done` every few milliseconds; false when `timeout` passed first.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// utime + stime of every thread of `pid` so far, in seconds (from /proc/<pid>/stat).
double CpuSeconds(pid_t pid);
// VmRSS (or another kB field) of /proc/<pid>/status in kB; -1 when missing.
long StatusKb(pid_t pid, const std::string& field);

// A child process with its own environment (the parent's, with `env` replacing or adding).
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
               bool capture_stdout = false);
  ~ChildProcess();  // kills a child still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }
  bool Running();
  // SIGTERM, then waits; the exit code, or -1 on a signal or timeout (then it is killed).
  int Terminate(std::chrono::milliseconds timeout);
  // Waits for the child to exit by itself; exit code as above.
  int Wait(std::chrono::milliseconds timeout);
  // What the child wrote to stdout until it closed it or `timeout` passed (capture_stdout only).
  std::string ReadAllStdout(std::chrono::milliseconds timeout);

 private:
  pid_t pid_ = -1;
  int stdout_fd_ = -1;
  bool reaped_ = false;
  int exit_code_ = -1;
};

// The recording setting of the program's settings file: none (the program's default: recording
// into its default store below XDG_DATA_HOME), off, or on into a named file.
enum class Recording { kDefault, kOff, kToFile };

// The settings file of the real program, in `config_home` (its XDG_CONFIG_HOME): port 1 on
// channel 1 with `mask` charted, COM1 mapped to `device`, recording as `recording` says (into
// `recording_file` for kToFile).
void WriteProgramSettings(const std::string& config_home, const std::string& device, unsigned mask,
                          Recording recording = Recording::kDefault,
                          const std::string& recording_file = {});

// Environment for the real program: offscreen, settings, instance lock and default recordings
// store in `dir`, so that a bench never records into the user's own store.
std::map<std::string, std::string> ProgramEnvironment(const TempDir& dir);

// The korvane-connect program of this build tree.
std::string ProgramPath();

// The real program, offscreen, in its own process, reading a pty whose writing side (the
// simulated charger) runs in this process, so the charger's CPU time is not the program's.
class ProgramUnderTest {
 public:
  // Starts the program with `mask` charted and waits until it has opened the port. kToFile
  // records into RecordingFile().
  explicit ProgramUnderTest(unsigned mask, Recording recording = Recording::kDefault);
  ~ProgramUnderTest();
  ProgramUnderTest(const ProgramUnderTest&) = delete;
  ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;

  pid_t Pid() const { return child_->Pid(); }
  std::string RecordingFile() const { return dir_.Path() + "/recordings.sqlite"; }
  // Plays the charge/discharge scenario onto the pty; replaces a feed still running.
  sim::Runner& Feed(const sim::RunnerOptions& options);
  // Waits until the program has read every byte written so far.
  bool WaitDrained(std::chrono::milliseconds timeout) const;
  std::size_t DroppedBytes() const;
  // Stops the feed, then the program by SIGTERM; its exit code.
  int Stop();

 private:
  TempDir dir_;
  std::unique_ptr<sim::Pty> pty_;
  std::unique_ptr<ChildProcess> child_;
  std::unique_ptr<sim::Runner> runner_;
};

double Median(std::vector<double> values);
// Nearest-rank percentile, p in (0, 100].
double Percentile(std::vector<double> values, double p);

// Prints "name: value" with one decimal (or `decimals`).
void PrintFigure(const std::string& name, double value, int decimals = 1);
void PrintNote(const std::string& text);  // "# text"

}  // namespace korvane::bench
