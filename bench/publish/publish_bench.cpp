// SPDX-License-Identifier: GPL-3.0-or-later
// bench-publish: the MQTT publisher against a Mosquitto of its own on 127.0.0.1 (port chosen
// free, configuration and files in a temp folder). Catch-up: how fast a publisher sends a
// backlog of frames from the store until the broker has acknowledged every one. CPU: the
// publisher's share of one core while frames arrive at the serial line's rate (9600 baud,
// 124-byte frames: about 7.7 a second), as the recorder writes them, against the same feeding
// without a publisher.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "korvane/model/decoder.h"
#include "korvane/publish/options.h"
#include "korvane/publish/publisher.h"
#include "korvane/record/store.h"
#include "korvane/sim/frame_encoder.h"
#include "korvane/sim/scenario.h"

namespace {

using Clock = std::chrono::steady_clock;
using korvane::model::S_HARDWARE_DATA;
using korvane::publish::Publisher;
using korvane::record::Store;

constexpr std::int64_t kBacklog = 200'000;
constexpr double kLineRate = 9600.0 / 10.0 / korvane::sim::kFrameSize;
constexpr double kCpuSeconds = 20.0;
constexpr std::int64_t kFirstMs = 1'700'000'000'000;

void Figure(const char* name, double value, int decimals = 1) {
  std::printf("%s: %.*f\n", name, decimals, value);
  std::fflush(stdout);
}

double ProcessCpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
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

bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

class Broker {
 public:
  Broker(const std::string& dir, int port) {
    const std::string config = dir + "/mosquitto.conf";
    std::ofstream(config) << "listener " << port << " 127.0.0.1\nallow_anonymous true\n"
                          << "user root\nlog_dest none\n";
    pid_ = ::fork();
    if (pid_ == 0) {
      std::freopen("/dev/null", "w", stderr);  // its warning about running as root
      ::execl("/usr/sbin/mosquitto", "mosquitto", "-c", config.c_str(), nullptr);
      ::_exit(127);
    }
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (!Accepts(port)) {
      if (Clock::now() > deadline) {
        throw std::runtime_error("mosquitto did not start");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~Broker() {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_ = -1;
};

std::vector<S_HARDWARE_DATA> ScenarioFrames(std::size_t count) {
  const auto scenario = korvane::sim::MakeScenario(korvane::sim::ScenarioKind::kChargeDischarge,
                                                   korvane::sim::ScenarioOptions{});
  std::vector<S_HARDWARE_DATA> frames;
  for (std::size_t i = 0; i < count; ++i) {
    frames.push_back(korvane::model::DecodePayload(korvane::sim::EncodePayload(scenario->Next())));
  }
  return frames;
}

void AddFrames(Store& store, const std::vector<S_HARDWARE_DATA>& pattern, std::int64_t first,
               std::int64_t count) {
  const auto batch = store.Begin();
  for (std::int64_t i = first; i < first + count; ++i) {
    S_HARDWARE_DATA record = pattern[static_cast<std::size_t>(i) % pattern.size()];
    record.UtcMs = kFirstMs + i * 130;
    batch->AddFrame(record);
  }
  batch->Commit();
}

Publisher::Options PublisherOptions(const std::string& store, int port) {
  Publisher::Options options;
  options.store_path = store;
  options.broker.host = "127.0.0.1";
  options.broker.port = port;
  options.broker.topic_prefix = "korvane/bench";
  options.broker.client_id = korvane::publish::ClientIdFor(store);
  return options;
}

// Feeds frames at line rate, committed every half second as the recorder does; returns the
// process CPU seconds used over the period.
double FeedAtLineRate(Store& store, const std::vector<S_HARDWARE_DATA>& pattern,
                      std::int64_t& next) {
  const double cpu0 = ProcessCpuSeconds();
  const auto start = Clock::now();
  double owed = 0;
  for (auto tick = start; tick < start + std::chrono::duration<double>(kCpuSeconds);) {
    tick += std::chrono::milliseconds(500);
    std::this_thread::sleep_until(tick);
    owed += kLineRate / 2;
    const auto count = static_cast<std::int64_t>(owed);
    owed -= static_cast<double>(count);
    AddFrames(store, pattern, next, count);
    next += count;
  }
  return ProcessCpuSeconds() - cpu0;
}

}  // namespace

int main() {
  const std::string dir = std::filesystem::temp_directory_path() / "korvane-bench-publish";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const int port = FreePort();
  Broker broker(dir, port);
  const std::vector<S_HARDWARE_DATA> pattern = ScenarioFrames(3600);

  const std::string backlog_path = dir + "/backlog.sqlite";
  {
    Store store(backlog_path);
    for (std::int64_t done = 0; done < kBacklog; done += 10'000) {
      AddFrames(store, pattern, done, 10'000);
    }
    store.SetPublishedUpTo(korvane::publish::ClientIdFor(backlog_path), 0);
  }
  {
    const auto t0 = Clock::now();
    Publisher publisher(PublisherOptions(backlog_path, port));
    while (publisher.Status().acked_seq < kBacklog) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    std::printf("# %lld frames from the store, every one acknowledged by the broker\n",
                static_cast<long long>(kBacklog));
    Figure("publish_catchup_frames_per_s", static_cast<double>(kBacklog) / seconds, 0);
  }

  const std::string live_path = dir + "/live.sqlite";
  Store store(live_path);
  std::int64_t next = 0;
  const double without = FeedAtLineRate(store, pattern, next);
  double with = 0;
  {
    Publisher publisher(PublisherOptions(live_path, port));
    with = FeedAtLineRate(store, pattern, next);
  }
  std::printf("# %.1f frames/s for %.0f s, committed every 0.5 s\n", kLineRate, kCpuSeconds);
  Figure("publish_cpu_percent_of_a_core_at_line_rate", 100.0 * (with - without) / kCpuSeconds, 2);
  std::filesystem::remove_all(dir);
  return 0;
}
