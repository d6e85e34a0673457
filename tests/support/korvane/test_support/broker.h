// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mosquitto.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "korvane/test_support/temp_dir.h"
#include "korvane/test_support/wait.h"

namespace korvane::test_support {

// Binds (port 0: any free one) or connects a TCP socket on 127.0.0.1; returns the port, or -1.
inline int Loopback(int port, bool bind) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{
      AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t size = sizeof address;
  auto* raw = reinterpret_cast<sockaddr*>(&address);
  const bool ok = bind ? ::bind(fd, raw, size) == 0 && ::getsockname(fd, raw, &size) == 0
                       : ::connect(fd, raw, size) == 0;
  ::close(fd);
  return ok ? ntohs(address.sin_port) : -1;
}

// Mosquitto on 127.0.0.1 only, its configuration, persistence and log in `dir`: a TempDir(0755),
// as the broker may run as another user. "user root" keeps a broker started by root as root, so it
// reads the test's files; others ignore it.
class Broker {
 public:
  Broker(const TempDir& dir, const std::string& access = "allow_anonymous true\n")
      : port_(Loopback(0, true)), config_(dir / "mosquitto.conf"), log_(dir / "broker.log") {
    std::ofstream(config_) << "listener " << port_ << " 127.0.0.1\nuser root\n"
                           << "persistence true\npersistence_location " << dir.path() << "/\n"
                           << "autosave_interval 1\nmax_queued_messages 100000\n"
                           << access;
  }
  ~Broker() { Stop(SIGTERM); }

  void Start() {
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(::open(log_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644), STDERR_FILENO);
      ::execl("/usr/sbin/mosquitto", "mosquitto", "-c", config_.c_str(), nullptr);
      ::_exit(127);
    }
    ASSERT_TRUE(
        WaitUntil([&] { return Loopback(port_, false) == port_; }, std::chrono::seconds(20)));
  }

  // SIGSTOP freezes the broker with its connections open: it reads and acknowledges nothing.
  void Signal(int signal_number) {
    if (pid_ > 0) {
      ::kill(pid_, signal_number);
    }
  }

  void Stop(int signal_number) {
    if (pid_ > 0) {
      ::kill(pid_, signal_number);
      ::kill(pid_, SIGCONT);  // a frozen broker must wake to end
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }

  int port() const { return port_; }

 private:
  int port_;
  std::string config_;
  std::string log_;
  pid_t pid_ = -1;
};

// Lines and messages gathered from other threads.
class Lines {
 public:
  void Add(std::string topic, std::string text) {
    std::lock_guard guard(lock_);
    lines_.push_back({std::move(topic), std::move(text)});
  }
  std::function<void(const std::string&)> Sink() {
    return [this](const std::string& line) { Add({}, line); };
  }
  // Texts under `topic`, oldest first.
  std::vector<std::string> Texts(const std::string& topic = {}) {
    std::lock_guard guard(lock_);
    std::vector<std::string> texts;
    for (const auto& [on, text] : lines_) {
      if (on == topic) {
        texts.push_back(text);
      }
    }
    return texts;
  }
  std::string Last(const std::string& topic) {
    const std::vector<std::string> texts = Texts(topic);
    return texts.empty() ? std::string() : texts.back();
  }
  int Count(const std::string& part) {
    int count = 0;
    for (const std::string& text : Texts()) {
      count += text.find(part) != std::string::npos ? 1 : 0;
    }
    return count;
  }

 private:
  std::mutex lock_;
  std::vector<std::pair<std::string, std::string>> lines_;
};

// Subscribes to PREFIX/# at QoS 1 on its own libmosquitto thread, again after each reconnect;
// a persistent session (clean_session false) unless `clean`.
class Subscriber : public Lines {
 public:
  Subscriber(int port, const std::string& prefix, bool clean, const std::string& id)
      : filter_(prefix + "/#") {
    mosquitto_lib_init();
    client_ = mosquitto_new(id.c_str(), clean, this);
    mosquitto_connect_callback_set(client_, [](mosquitto* m, void* self, int code) {
      if (code == 0) {
        mosquitto_subscribe(m, nullptr, static_cast<Subscriber*>(self)->filter_.c_str(), 1);
      }
    });
    mosquitto_subscribe_callback_set(client_, [](mosquitto*, void* self, int, int, const int*) {
      static_cast<Subscriber*>(self)->Add("suback", "");
    });
    mosquitto_message_callback_set(client_, [](mosquitto*, void* self, const mosquitto_message* m) {
      static_cast<Subscriber*>(self)->Add(m->topic,
                                          std::string(static_cast<const char*>(m->payload),
                                                      static_cast<std::size_t>(m->payloadlen)));
    });
    mosquitto_connect_async(client_, "127.0.0.1", port, 30);
    mosquitto_loop_start(client_);
  }
  // The disconnect ends the network thread's loop, also in a reconnect wait; it is joined, not
  // cancelled: a thread cancelled while it holds the client's lock leaves that lock taken.
  ~Subscriber() {
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, false);
    mosquitto_destroy(client_);
  }

 private:
  std::string filter_;
  mosquitto* client_;
};

}  // namespace korvane::test_support
