// SPDX-License-Identifier: GPL-3.0-or-later
// bench-web: the web page's server.
// web_run_frames_ms: /api/runs/1/frames?width=1500 of a 24 h run (86,400 frames, one a second)
// from a store in a temp folder, by an in-process server, until the response is complete
// (median of 15).
// web_live_latency_ms: korvane-log record --http on a pty; from a frame written to the pty until
// a live client (Server-Sent Events) has its values (median of 30 frames, 300 ms apart).
// cpu_percent_web_adds_at_line_rate: korvane-log record's utime + stime at the line's rate
// (9600 baud, back to back) with --http and 5 live clients, less the same without --http.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "korvane/record/store.h"
#include "korvane/sim/frame_encoder.h"
#include "korvane/sim/pty.h"
#include "korvane/sim/runner.h"
#include "korvane/sim/scenario.h"
#include "korvane/web/server.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::int64_t kT0 = 1'700'000'000'000;
constexpr int kDayFrames = 86'400;

void Figure(const char* name, double value, int decimals = 1) {
  std::printf("%s: %.*f\n", name, decimals, value);
  std::fflush(stdout);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

class TempFolder {
 public:
  TempFolder() : path_((fs::temp_directory_path() / "korvane-bench-web-XXXXXX").string()) {
    if (::mkdtemp(path_.data()) == nullptr) {
      throw std::runtime_error("no temp folder");
    }
    fs::create_directories(path_ + "/web");
    std::ofstream(path_ + "/web/index.html") << "bench";
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::string Path(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A day of a slowly rising charge with noise and a spike now and then, one frame a second.
void MakeDay(const std::string& path) {
  korvane::record::Store store(path);
  auto batch = store.Begin();
  korvane::record::RunSummary run;
  run.channel = 1;
  run.kind = korvane::record::kRunCharge;
  run.start_ms = kT0;
  unsigned seed = 12345;
  for (int i = 0; i < kDayFrames; ++i) {
    seed = seed * 1103515245u + 12345u;
    const int noise = static_cast<int>((seed >> 16) % 21) - 10;
    korvane::model::S_HARDWARE_DATA record;
    record.UtcMs = kT0 + i * 1000LL;
    auto& ch = record.Channels[0];
    ch.OperationMode = 1;
    ch.InputVoltage = static_cast<std::uint16_t>(12000 + noise);
    ch.OutputVoltage =
        static_cast<std::uint16_t>(14000 + i / 40 + noise + (i % 5000 == 7 ? 900 : 0));
    ch.OutputCurrent = static_cast<std::uint16_t>(3000 + 2 * noise);
    ch.OutputCapacity = static_cast<std::uint16_t>(i / 30);
    ch.Temperature = static_cast<std::uint16_t>(240 + i / 2000);
    ch.TemperatureSign = 1;
    for (int c = 0; c < 4; ++c) {
      ch.CellVoltage[static_cast<std::size_t>(c)] =
          static_cast<std::uint16_t>(3500 + i / 160 + noise + c);
    }
    const std::int64_t id = batch->AddFrame(record);
    run.first_frame = run.first_frame == 0 ? id : run.first_frame;
    run.last_frame = id;
  }
  run.frames = kDayFrames;
  run.end_ms = kT0 + (kDayFrames - 1) * 1000LL;
  run.end_state = korvane::record::EndState::kFinished;
  run.end_text = "Finished: FULL";
  batch->PutRun(run);
  batch->Commit();
}

bool RunFrames(const TempFolder& folder) {
  MakeDay(folder.Path("day.sqlite"));
  korvane::web::LiveSlot live;
  korvane::web::ServerOptions options;
  options.root = folder.Path("web");
  options.store_path = folder.Path("day.sqlite");
  korvane::web::Server server(options, live);
  httplib::Client client("127.0.0.1", server.Port());
  std::vector<double> times;
  std::size_t bytes = 0;
  for (int i = 0; i < 16; ++i) {
    const auto start = Clock::now();
    const httplib::Result result = client.Get("/api/runs/1/frames?width=1500");
    const auto end = Clock::now();
    if (!result || result->status != 200) {
      std::cerr << "bench-web: the frames request failed\n";
      return false;
    }
    bytes = result->body.size();
    if (i > 0) {  // the first one warms the file cache and the connection
      times.push_back(Ms(end - start));
    }
  }
  Figure("web_run_frames_ms", Median(times));
  Figure("web_run_frames_kb", static_cast<double>(bytes) / 1024.0);
  std::printf("# goal: web_run_frames_ms under 60\n");
  return true;
}

// korvane-log record on the pty, with --http when `port` is not 0.
class Recording {
 public:
  Recording(const TempFolder& folder, const std::string& device, int port) {
    std::vector<std::string> args = {KORVANE_LOG, "record",  "--device",
                                     device,      "--store", folder.Path("live.sqlite")};
    if (port != 0) {
      args.insert(args.end(), {"--http", std::to_string(port), "--http-root", folder.Path("web")});
    }
    std::vector<char*> argv;
    for (std::string& arg : args) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const std::string config = "XDG_CONFIG_HOME=" + folder.Path("config");
    std::vector<char*> env;
    for (char** e = environ; *e != nullptr; ++e) {
      env.push_back(*e);
    }
    env.push_back(const_cast<char*>(config.c_str()));
    env.push_back(nullptr);
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), env.data()) != 0) {
      throw std::runtime_error("cannot start korvane-log");
    }
    posix_spawn_file_actions_destroy(&actions);
    if (port != 0) {
      httplib::Client client("127.0.0.1", port);
      const auto deadline = Clock::now() + 20s;
      while (!client.Get("/api/live") && Clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
      }
    }
  }
  ~Recording() {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

double CpuSeconds(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  double ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14 || i == 15) {
      ticks += std::stod(field);
    }
  }
  return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// A live client that keeps what it receives.
class LiveClient {
 public:
  explicit LiveClient(int port)
      : thread_([this, port] {
          httplib::Client client("127.0.0.1", port);
          client.Get("/api/events", [this](const char* data, std::size_t size) {
            std::lock_guard guard(mutex_);
            text_.append(data, size);
            if (text_.size() > 1'000'000) {
              text_.erase(0, 500'000);
            }
            return !done_.load();
          });
        }) {}
  ~LiveClient() {
    done_ = true;
    thread_.join();
  }
  bool Has(const std::string& part) {
    std::lock_guard guard(mutex_);
    return text_.find(part) != std::string::npos;
  }

 private:
  std::mutex mutex_;
  std::string text_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

bool LiveLatency(const TempFolder& folder) {
  auto pty = korvane::sim::Pty::Open();
  const int port = FreePort();
  Recording recording(folder, pty->SlavePath(), port);
  LiveClient client(port);
  korvane::sim::ChargerRecord record;
  record.channels[0].mode = 1;
  std::vector<double> times;
  for (int i = 0; i < 40; ++i) {
    record.channels[0].output_mv = static_cast<std::uint16_t>(10001 + i);
    char value[32];
    std::snprintf(value, sizeof value, "\"output_v\":10.%03d", 1 + i);
    const auto start = Clock::now();
    pty->Write(korvane::sim::EncodeFrame(record));
    while (!client.Has(value) && Clock::now() < start + 5s) {
      std::this_thread::sleep_for(200us);
    }
    if (i >= 10) {  // the first ones open the port and connect
      times.push_back(Ms(Clock::now() - start));
    }
    std::this_thread::sleep_for(300ms);
  }
  record.channels[0].output_mv = 1;
  pty->Write(korvane::sim::EncodeFrame(record));  // ends the client's stream
  Figure("web_live_latency_ms", Median(times));
  std::printf("# goal: web_live_latency_ms under 100\n");
  return true;
}

double RecordingCpu(const TempFolder& folder, bool web, int seconds) {
  auto pty = korvane::sim::Pty::Open();
  const int port = web ? FreePort() : 0;
  Recording recording(folder, pty->SlavePath(), port);
  korvane::sim::RunnerOptions pace;
  pace.interval = 0ms;
  pace.line_bytes_per_s = 960;
  korvane::sim::Runner charger(
      *pty, korvane::sim::MakeScenario(korvane::sim::ScenarioKind::kChargeDischarge, {}), pace);
  charger.Start();
  std::vector<std::unique_ptr<LiveClient>> clients;
  for (int i = 0; web && i < 5; ++i) {
    clients.push_back(std::make_unique<LiveClient>(port));
  }
  std::this_thread::sleep_for(5s);
  const double cpu0 = CpuSeconds(recording.Pid());
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double cpu1 = CpuSeconds(recording.Pid());
  const double wall = Ms(Clock::now() - t0) / 1000.0;
  charger.Stop();
  clients.clear();  // each ends at its next event... none come now: the recording ends them
  return 100.0 * (cpu1 - cpu0) / wall;
}

bool Cpu(const TempFolder& folder) {
  const char* text = std::getenv("KORVANE_BENCH_MEASURE_S");
  const int seconds = text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : 30;
  const double without = RecordingCpu(folder, false, seconds);
  const double with = RecordingCpu(folder, true, seconds);
  Figure("cpu_percent_line_rate_recording", without, 2);
  Figure("cpu_percent_line_rate_recording_web_5_clients", with, 2);
  Figure("cpu_percent_web_adds_at_line_rate", with - without, 2);
  std::printf("# goal: cpu_percent_web_adds_at_line_rate under 0.5 (%d s each)\n", seconds);
  return true;
}

}  // namespace

int main() {
  ::signal(SIGPIPE, SIG_IGN);
  try {
    const TempFolder folder;
    return RunFrames(folder) && LiveLatency(folder) && Cpu(folder) ? 0 : 1;
  } catch (const std::exception& error) {
    std::cerr << "bench-web: " << error.what() << "\n";
    return 1;
  }
}
