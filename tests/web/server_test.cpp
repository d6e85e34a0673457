// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "korvane/record/run_files.h"
#include "korvane/record/store.h"
#include "korvane/test_support/piped_child.h"
#include "korvane/test_support/temp_dir.h"
#include "korvane/test_support/wait.h"
#include "korvane/web/run_json.h"
#include "korvane/web/server.h"

namespace korvane::web {
namespace {

using nlohmann::json;
using test_support::WaitUntil;

constexpr std::int64_t kT0 = 1'765'000'000'000;
constexpr int kFrames = 600;
constexpr std::uint16_t kPeakMv = 19999;  // one frame's output voltage, far above the rest

model::S_HARDWARE_DATA Frame(std::int64_t utc_ms, std::uint16_t output_mv) {
  model::S_HARDWARE_DATA record;
  record.UtcMs = utc_ms;
  for (model::S_CHANNEL_DATA& ch : record.Channels) {
    ch.OperationMode = 1;
    ch.OutputVoltage = output_mv;
    ch.OutputCurrent = 2200;
    ch.Temperature = 245;
    ch.TemperatureSign = 1;
    ch.CellVoltage = {4100, 4110, 4105, 0, 0, 0, 0};
  }
  return record;
}

// A store with two runs over the same frames (channel 1, then channel 2), a page folder and a
// server on a free port of 127.0.0.1.
class WebServer : public ::testing::Test {
 protected:
  void SetUp() override {
    record::Store store(Path("store.sqlite"));
    auto batch = store.Begin();
    for (int channel = 1; channel <= 2; ++channel) {
      record::RunSummary run;
      run.channel = channel;
      run.kind = record::kRunCharge;
      run.start_ms = kT0;
      run.end_ms = kT0 + (kFrames - 1) * 1000;
      run.end_state = record::EndState::kFinished;
      run.end_text = "Finished: FULL";
      runs_.push_back(run);
    }
    for (int i = 0; i < kFrames; ++i) {
      const std::int64_t id = batch->AddFrame(Frame(kT0 + i * 1000, i == 333 ? kPeakMv : 12000));
      for (record::RunSummary& run : runs_) {
        run.first_frame = run.first_frame == 0 ? id : run.first_frame;
        run.last_frame = id;
        run.frames = i + 1;
      }
    }
    for (record::RunSummary& run : runs_) {
      batch->PutRun(run);
    }
    batch->Commit();
    identity_ = store.Identity();

    std::filesystem::create_directories(Path("web/static"));
    for (const auto& [name, text] : {std::pair{"index.html", "live page"},
                                     {"runs.html", "runs page"},
                                     {"run.html", "run page"},
                                     {"static/app.js", "let a;"}}) {
      std::ofstream(Path("web/" + std::string(name))) << text;
    }
  }

  std::string Path(const std::string& name) const { return home_.path() + "/" + name; }

  ServerOptions Options() const {
    ServerOptions options;
    options.root = Path("web");
    options.store_path = Path("store.sqlite");
    return options;
  }

  test_support::TempDir home_;
  std::vector<record::RunSummary> runs_;
  std::string identity_;
  LiveSlot live_;
};

TEST_F(WebServer, AnswersEachEndpointFromTheStore) {
  Server server(Options(), live_);
  httplib::Client client("127.0.0.1", server.Port());
  live_.PutFrame(Frame(kT0, 16512));

  std::ostringstream exported;
  record::ExportRun(record::Store(Path("store.sqlite"), record::StoreAccess::kRead), 2, exported);
  struct Row {
    std::string path;
    std::string content_type;
    std::function<void(const std::string&)> check;
  };
  const std::vector<Row> rows = {
      // The run objects are the listing's own (runs --json), newest first.
      {"/api/runs", "application/json",
       [&](const std::string& body) {
         EXPECT_EQ(body, RunPageJson({runs_[1], runs_[0]}, 2, 0, identity_));
       }},
      {"/api/runs?channel=1&offset=0&limit=1", "application/json",
       [&](const std::string& body) { EXPECT_EQ(body, RunPageJson({runs_[0]}, 1, 0, identity_)); }},
      {"/api/runs/2", "application/json",
       [&](const std::string& body) { EXPECT_EQ(body, RunJson(runs_[1], identity_)); }},
      // Decimated to the width, yet the one-frame peak is kept.
      {"/api/runs/1/frames?width=50", "application/json",
       [&](const std::string& body) {
         const json frames = json::parse(body);
         EXPECT_EQ(frames["to"], (kFrames - 1) * 1000);
         EXPECT_LE(frames["t"].size(), 50u * 4 * 7);
         EXPECT_LT(frames["t"].size(), static_cast<std::size_t>(kFrames));
         EXPECT_EQ(frames["output_v"].size(), frames["t"].size());
         EXPECT_EQ(frames["cells_v"].size(), 3u);
         EXPECT_DOUBLE_EQ(
             frames["output_v"].get<std::vector<double>>().at(static_cast<std::size_t>(
                 std::find(frames["t"].begin(), frames["t"].end(), 333000) - frames["t"].begin())),
             kPeakMv / 1000.0);
       }},
      {"/api/live", "application/json",
       [&](const std::string& body) {
         const json live = json::parse(body);
         EXPECT_EQ(live["utc_ms"], kT0);
         EXPECT_EQ(live["channels"][1]["output_v"], 16.512);
         EXPECT_EQ(live["channels"][0]["cells_v"].size(), 3u);
         EXPECT_EQ(live["channels"][0]["cell_spread_mv"], 10);
       }},
      {"/runs/2/export", "text/tab-separated-values; charset=utf-8",
       [&](const std::string& body) { EXPECT_EQ(body, exported.str()); }},
      {"/", "text/html; charset=utf-8",
       [](const std::string& body) { EXPECT_EQ(body, "live page"); }},
      {"/runs/17", "text/html; charset=utf-8",
       [](const std::string& body) { EXPECT_EQ(body, "run page"); }},
      {"/static/app.js", "text/javascript; charset=utf-8",
       [](const std::string& body) { EXPECT_EQ(body, "let a;"); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    const httplib::Result result = client.Get(row.path.c_str());
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(result->get_header_value("Content-Type"), row.content_type);
    row.check(result->body);
  }
}

TEST_F(WebServer, RefusesBadRequestsWithAOneLineJsonError) {
  Server server(Options(), live_);
  httplib::Client client("127.0.0.1", server.Port());
  const std::vector<std::pair<std::string, int>> rows = {
      {"/api/runs/1/frames?width=0", 400},
      {"/api/runs/1/frames?width=1000000000", 400},
      {"/api/runs/1/frames?width=wide", 400},
      {"/api/runs/1/frames?from=9000&to=1000", 400},
      {"/api/runs/1/frames?width=5&width=6", 400},
      {"/api/runs/-1", 400},
      {"/api/runs/abc", 400},
      {"/api/runs?limit=0", 400},
      {"/api/runs/99", 404},
      {"/runs/99/export", 404},
      {"/etc/passwd", 404},
      {"/static/../store.sqlite", 404},
  };
  for (const auto& [path, status] : rows) {
    SCOPED_TRACE(path);
    const httplib::Result result = client.Get(path.c_str());
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, status);
    EXPECT_EQ(result->get_header_value("Content-Type"), "application/json");
    EXPECT_TRUE(json::parse(result->body).contains("error"));
  }
  const httplib::Result post = client.Post("/api/live", "x", "text/plain");
  ASSERT_TRUE(post);
  EXPECT_EQ(post->status, 405);
  const httplib::Result huge = client.Get("/api/live", {{"X-Filler", std::string(20000, 'a')}});
  ASSERT_TRUE(huge);
  EXPECT_EQ(huge->status, 400);
}

TEST_F(WebServer, AsksForThePasswordWhenOneIsSet) {
  ServerOptions options = Options();
  options.password = "s3cret";
  Server server(options, live_);
  httplib::Client client("127.0.0.1", server.Port());
  const httplib::Result anonymous = client.Get("/api/runs");
  ASSERT_TRUE(anonymous);
  EXPECT_EQ(anonymous->status, 401);
  EXPECT_EQ(anonymous->get_header_value("WWW-Authenticate"),
            "Basic realm=\"Korvane Connect\", charset=\"UTF-8\"");
  client.set_basic_auth("korvane", "wrong");
  EXPECT_EQ(client.Get("/api/runs")->status, 401);
  client.set_basic_auth("korvane", "s3cret");
  EXPECT_EQ(client.Get("/api/runs")->status, 200);
}

// HTTPS with the user's certificate (made here by openssl): a TLS client gets the page, a plain
// one does not.
TEST_F(WebServer, ServesHttpsWithTheGivenCertificate) {
  const std::string make =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1"
      " -keyout '" +
      Path("key.pem") + "' -out '" + Path("cert.pem") + "' 2>/dev/null";
  ASSERT_EQ(std::system(make.c_str()), 0);
  ServerOptions options = Options();
  options.cert_file = Path("cert.pem");
  options.key_file = Path("key.pem");
  Server server(options, live_);
  httplib::SSLClient tls("127.0.0.1", server.Port());
  tls.set_ca_cert_path(Path("cert.pem").c_str());
  const httplib::Result page = tls.Get("/api/runs/1");
  ASSERT_TRUE(page) << httplib::to_string(page.error());
  EXPECT_EQ(page->status, 200);
  httplib::Client plain("127.0.0.1", server.Port());
  plain.set_read_timeout(5, 0);
  const httplib::Result refused = plain.Get("/api/runs/1");
  EXPECT_TRUE(!refused || refused->status != 200);
}

TEST_F(WebServer, SaysWhyItCannotListen) {
  Server first(Options(), live_);
  ServerOptions taken = Options();
  taken.port = first.Port();
  EXPECT_THROW(
      {
        try {
          Server second(taken, live_);
        } catch (const std::runtime_error& error) {
          EXPECT_STREQ(error.what(), ("cannot serve the web page on 127.0.0.1:" +
                                      std::to_string(first.Port()) + ": Address already in use")
                                         .c_str());
          throw;
        }
      },
      std::runtime_error);
}

// serve: a frame another program records into the store reaches a listening client.
TEST_F(WebServer, StreamsTheStoresNewestFrameToALiveClient) {
  ServerOptions options = Options();
  options.follow_store = true;
  options.max_event_clients = 1;
  Server server(options, live_);
  std::mutex mutex;
  std::string received;
  std::atomic<bool> done{false};
  std::thread listener([&] {
    httplib::Client client("127.0.0.1", server.Port());
    client.Get("/api/events", [&](const char* data, std::size_t size) {
      std::lock_guard guard(mutex);
      received.append(data, size);
      return !done.load();
    });
  });
  const auto has = [&](const std::string& part) {
    std::lock_guard guard(mutex);
    return received.find(part) != std::string::npos;
  };
  EXPECT_TRUE(WaitUntil([&] { return has("event: live\ndata: {"); }, std::chrono::seconds(20)));
  EXPECT_TRUE(has("retry: 2000\n"));
  // A client beyond the limit is told to come back later, and the first one goes on.
  httplib::Client second("127.0.0.1", server.Port());
  const httplib::Result busy = second.Get("/api/events");
  ASSERT_TRUE(busy);
  EXPECT_EQ(busy->status, 429);
  EXPECT_EQ(busy->get_header_value("Retry-After"), "10");
  {
    record::Store writer(Path("store.sqlite"));
    auto batch = writer.Begin();
    batch->AddFrame(Frame(kT0 + kFrames * 1000, 17345));
    batch->Commit();
  }
  EXPECT_TRUE(WaitUntil([&] { return has("\"output_v\":17.345"); }, std::chrono::seconds(20)));
  done = true;
  live_.PutFrame(Frame(kT0, 12000));  // something to write, so the client can end the stream
  listener.join();
}

// The command line: serve answers from the store; a second one on its port says why it cannot
// and ends with 1; the first ends with 0 on SIGTERM.
TEST_F(WebServer, ServeVerbListensAndRefusesATakenPort) {
  const auto serve = [&](const std::string& listen) {
    return std::make_unique<test_support::PipedChild>(
        std::vector<std::string>{KORVANE_LOG, "serve", "--store", Path("store.sqlite"), "--http",
                                 listen, "--http-root", Path("web")},
        std::vector<std::string>{"HOME=" + home_.path(), "XDG_CONFIG_HOME=" + Path("config")});
  };
  // A free port: one the kernel gives a socket that is then closed.
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), size), 0);
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(probe);
  const int port = ntohs(address.sin_port);
  const auto first = serve("127.0.0.1:" + std::to_string(port));
  ASSERT_TRUE(
      first->ReadUntil([&] { return first->Err().find("read-only at") != std::string::npos; },
                       std::chrono::seconds(20)))
      << first->Err();
  httplib::Client client("127.0.0.1", port);
  const httplib::Result runs = client.Get("/api/runs/1");
  ASSERT_TRUE(runs);
  EXPECT_EQ(runs->body, RunJson(runs_[0], identity_));

  const auto second = serve(std::to_string(port));
  EXPECT_EQ(second->Wait(std::chrono::seconds(20)), 1);
  EXPECT_EQ(second->Err(), "korvane-log: cannot serve the web page on 127.0.0.1:" +
                               std::to_string(port) + ": Address already in use\n");
  first->Signal(SIGTERM);
  EXPECT_EQ(first->Wait(std::chrono::seconds(20)), 0);
}

}  // namespace
}  // namespace korvane::web
