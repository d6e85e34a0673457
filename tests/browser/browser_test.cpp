// SPDX-License-Identifier: GPL-3.0-or-later
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "korvane/sim/pty.h"
#include "korvane/sim/runner.h"
#include "korvane/test_support/piped_child.h"
#include "korvane/test_support/temp_dir.h"
#include "korvane/test_support/wait.h"

namespace korvane {
namespace {

using json = nlohmann::json;
using test_support::PipedChild;
using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kDeadline = 30s;

// The word after `prefix` (up to a space or the line's end) in the child's standard output (else
// its error), once the output holds it whole. Plain string search: g++ 12 warns falsely inside
// <regex> in the sanitizer builds.
std::optional<std::string> Await(PipedChild& child, const std::string& prefix, bool from_out) {
  std::string word;
  const auto found = [&] {
    const std::string& text = from_out ? child.Out() : child.Err();
    const std::size_t at = text.find(prefix);
    if (at == std::string::npos) {
      return false;
    }
    const std::size_t begin = at + prefix.size();
    const std::size_t end = text.find_first_of(" \n", begin);
    if (end == std::string::npos) {
      return false;
    }
    word = text.substr(begin, end - begin);
    return true;
  };
  if (!child.ReadUntil(found, kDeadline)) {
    return std::nullopt;
  }
  return word;
}

// Headless Chromium driven through chromedriver's WebDriver endpoint.
class Browser {
 public:
  explicit Browser(const std::string& profile)
      : driver_({CHROMEDRIVER, "--port=0"}, {"HOME=" + profile}) {
    const std::optional<std::string> port = Await(driver_, "started successfully on port ", true);
    if (!port) {
      return;
    }
    client_ = std::make_unique<httplib::Client>("127.0.0.1", std::stoi(*port));
    client_->set_read_timeout(kDeadline);
    const json options = {
        {"binary", CHROMIUM},
        {"args",
         {"--headless", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
          "--window-size=1366,900", "--user-data-dir=" + profile + "/chromium"}}};
    session_ = Call("POST", "/session",
                    {{"capabilities", {{"alwaysMatch", {{"goog:chromeOptions", options}}}}}})
                   .value("sessionId", "");
  }
  ~Browser() {
    if (!session_.empty()) {
      Call("DELETE", "/session/" + session_, nullptr);
    }
  }
  Browser(const Browser&) = delete;
  Browser& operator=(const Browser&) = delete;

  bool Ready() const { return !session_.empty(); }
  std::string Log() const { return driver_.Err() + driver_.Out(); }

  void Open(const std::string& url) {
    Call("POST", "/session/" + session_ + "/url", {{"url", url}});
  }

  // The value of a function body run in the page; null when it threw.
  json Eval(const std::string& body) {
    return Call("POST", "/session/" + session_ + "/execute/sync",
                {{"script", body}, {"args", json::array()}});
  }

  // Runs `body` until it gives something other than null; that value, or null at the deadline.
  json EvalUntil(const std::string& body) {
    json value;
    test_support::WaitUntil([&] { return !(value = Eval(body)).is_null(); }, kDeadline,
                            [] { std::this_thread::sleep_for(50ms); });
    return value;
  }

 private:
  json Call(const std::string& method, const std::string& path, const json& body) {
    const httplib::Result result = method == "DELETE"
                                       ? client_->Delete(path)
                                       : client_->Post(path, body.dump(), "application/json");
    if (!result) {
      return nullptr;
    }
    const json answer = json::parse(result->body, nullptr, false);
    return answer.is_object() && result->status == 200 ? answer.value("value", json()) : json();
  }

  PipedChild driver_;
  std::unique_ptr<httplib::Client> client_;
  std::string session_;
};

// A port of 127.0.0.1 that was free a moment ago (korvane-log's --http takes no port 0).
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                     ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0;
  ::close(fd);
  return bound ? ntohs(address.sin_port) : 0;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts(1);
  for (const char c : text) {
    if (c == separator) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

// Whether one line of the recorded export holds what the page shows for both channels: each
// channel's fields start at 1 + 14 * index (mode, cycle, input, output, current, capacity,
// temperature, seven cells with 0.000 for a cell not in use).
bool FrameShown(const std::string& tsv, const json& shown) {
  for (const std::string& line : Split(tsv, '\n')) {
    const std::vector<std::string> f = Split(line.substr(0, line.find('\r')), '\t');
    if (f.size() != 29) {
      continue;
    }
    bool all = true;
    for (const json& ch : shown) {
      const std::size_t at = 1 + 14 * (ch["channel"].get<std::size_t>() - 1);
      std::vector<std::string> cells(f.begin() + static_cast<long>(at) + 7,
                                     f.begin() + static_cast<long>(at) + 14);
      std::erase(cells, "0.000");
      std::string current = ch["current"];
      all = all && f[at + 3] == ch["output"] && f[at + 4] == current.erase(0, current[0] == '-') &&
            cells == ch["cells"].get<std::vector<std::string>>();
    }
    if (all) {
      return true;
    }
  }
  return false;
}

// Start to end as a user meets it: the simulated charger on a pty, korvane-log recording it and
// serving the page, a real browser on the live page and on a run's page.
TEST(BrowserTest, TheLivePageShowsTheChargersFramesAndTheRunPageDrawsItsChart) {
  test_support::TempDir home;
  auto pty = sim::Pty::Open();
  sim::RunnerOptions pace;
  pace.interval = 100ms;
  sim::Runner charger(*pty, sim::MakeScenario(sim::ScenarioKind::kChargeDischarge, {}), pace);
  charger.Start();
  // Another program may take the port between FreePort() and korvane-log's bind: then again.
  std::unique_ptr<PipedChild> started;
  std::optional<std::string> url;
  for (int attempt = 0; attempt < 3 && !url; ++attempt) {
    started = std::make_unique<PipedChild>(
        std::vector<std::string>{KORVANE_LOG, "record", "--device", pty->SlavePath(), "--store",
                                 home.path() + "/store.sqlite", "--tsv", "--http",
                                 "127.0.0.1:" + std::to_string(FreePort())},
        std::vector<std::string>{"HOME=" + home.path(), "LC_ALL=C"});
    url = Await(*started, "web page at ", false);
  }
  PipedChild& logger = *started;
  ASSERT_TRUE(url) << logger.Err();
  ASSERT_TRUE(logger.ReadUntil(
      [&] { return logger.Err().find("run 2 began") != std::string::npos; }, kDeadline))
      << logger.Err();

  Browser browser(home.path());
  ASSERT_TRUE(browser.Ready()) << "Debian's chromium and chromium-driver run this test\n"
                               << browser.Log();
  browser.Open(*url);
  // Both cards filled, and the frame count has moved on since the first value: the event
  // stream, not only the first request, reaches the page.
  const char* const kShown = R"(
    const cards = [...document.querySelectorAll(".card[data-channel]")];
    const pill = document.getElementById("recording").textContent;
    if (cards.length !== 2 || !/\d/.test(pill)) return null;
    const frames = Number(pill.replace(/[^\d]/g, ""));
    window.firstFrames ??= frames;
    if (frames <= window.firstFrames) return null;
    return cards.map((card) => ({
      channel: Number(card.dataset.channel),
      output: card.querySelector("[data-f=output_v]").textContent,
      current: card.querySelector("[data-f=current_a]").textContent,
      cells: [...card.querySelectorAll(".cell .v")].map((v) => v.textContent),
      mode: card.querySelector("[data-f=mode]").textContent,
    }));)";
  const json shown = browser.EvalUntil(kShown);
  ASSERT_TRUE(shown.is_array()) << browser.Eval("return document.body.innerText");
  for (const json& ch : shown) {
    EXPECT_FALSE(ch["cells"].empty()) << ch;
    EXPECT_FALSE(ch["mode"].get<std::string>().empty()) << ch;
  }
  EXPECT_TRUE(logger.ReadUntil([&] { return FrameShown(logger.Out(), shown); }, kDeadline))
      << "no recorded frame holds what the page shows: " << shown;

  browser.Open(*url + "runs/1");
  const json chart = browser.EvalUntil(R"(
    const canvas = document.querySelector(".plot canvas");
    const labels = [...document.querySelectorAll(".plot .u-legend .u-label")];
    if (!canvas || canvas.width === 0 || canvas.height === 0 || labels.length === 0) return null;
    return labels.map((label) => label.textContent);)");
  ASSERT_TRUE(chart.is_array()) << browser.Eval("return document.body.innerText");
  for (const char* series : {"Output", "Current", "Cell 1"}) {
    EXPECT_NE(std::find(chart.begin(), chart.end(), series), chart.end()) << chart;
  }

  logger.Signal(SIGTERM);
  EXPECT_EQ(logger.Wait(kDeadline), 0) << logger.Err();
  charger.Stop();
}

}  // namespace
}  // namespace korvane
