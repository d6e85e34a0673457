// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <poll.h>

#include <cstdlib>
#include <future>
#include <nlohmann/json.hpp>

#include "korvane/publish/publisher.h"
#include "korvane/record/store.h"
#include "korvane/test_support/broker.h"

namespace korvane::publish {
namespace {

using namespace test_support;
using namespace std::chrono_literals;

Publisher::Options MakeOptions(const TempDir& dir, int port, Lines& lines) {
  Publisher::Options options;
  options.store_path = dir / "r.sqlite";
  options.broker.host = "127.0.0.1";
  options.broker.port = port;
  options.broker.topic_prefix = "korvane/errors";
  options.on_line = lines.Sink();
  options.first_retry = std::chrono::milliseconds(200);
  return options;
}

// Recording goes on beside a publisher that cannot connect.
void Record(const TempDir& dir) {
  record::Store store(dir / "r.sqlite");
  auto batch = store.Begin();
  batch->AddFrame(model::S_HARDWARE_DATA{});
  batch->Commit();
}

// Absent at the start: one "refused" line however often it retries, then it connects, its
// backoff started over, and publishes from the mark that a file from before identities keeps
// under its path's client id.
TEST(BrokerErrors, AbsentBrokerIsReportedOnceThenReached) {
  TempDir dir(0755);
  Record(dir);
  record::Store(dir / "r.sqlite").SetPublishedUpTo(PathClientId(dir / "r.sqlite"), 0);
  Broker broker(dir);
  Lines lines;
  Publisher publisher(MakeOptions(dir, broker.port(), lines));
  ASSERT_TRUE(WaitUntil([&] { return publisher.Status().failed_attempts >= 3; }, 30s));
  EXPECT_EQ(publisher.Status().problem.find("connection refused"), 0u);
  Record(dir);
  EXPECT_EQ(lines.Count("connection refused"), 1);
  broker.Start();
  Subscriber subscriber(broker.port(), "korvane/errors", true, "errors-subscriber");
  ASSERT_TRUE(WaitUntil([&] { return publisher.Status().connected; }, 30s));
  EXPECT_EQ(publisher.Status().retry_delay, std::chrono::milliseconds(200));
  EXPECT_EQ(lines.Count("from frame 1"), 1);
  Record(dir);
  EXPECT_TRUE(WaitUntil([&] { return publisher.Status().acked_seq == 3; }, 30s));
  EXPECT_TRUE(WaitUntil([&] { return !subscriber.Last("korvane/errors/telemetry").empty(); }, 30s));
}

// Wrong credentials and a broker certificate from another CA: one line naming the cause while
// the retries go on; the right CA connects.
TEST(BrokerErrors, CredentialsAndTlsFailuresNameTheirCause) {
  TempDir dir(0755);
  const std::string ca =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=ca"
      " -keyout ca.key -out ca.pem 2>/dev/null";
  ASSERT_EQ(std::system(("cd " + dir.path() + " && " + ca + " && mv ca.pem wrong.pem && " + ca +
                         " && openssl req -newkey rsa:2048 -nodes -subj /CN=localhost"
                         " -keyout server.key -out server.csr 2>/dev/null && printf"
                         " 'subjectAltName=IP:127.0.0.1,DNS:127.0.0.1' > ext && openssl x509"
                         " -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2"
                         " -extfile ext -out server.pem 2>/dev/null && chmod 644 * &&"
                         " mosquitto_passwd -c -b passwords charger right")
                            .c_str()),
            0);
  const std::string tls = "allow_anonymous true\ncafile " + (dir / "ca.pem") + "\ncertfile " +
                          (dir / "server.pem") + "\nkeyfile " + (dir / "server.key") + "\n";
  struct Case {
    std::string access, password, cafile, says;
  };
  const Case cases[] = {
      {"allow_anonymous false\npassword_file " + (dir / "passwords") + "\n", "wrong", "",
       "bad credentials"},
      {tls, "right", dir / "wrong.pem", "TLS failure: certificate verify failed"},
      {tls, "right", dir / "ca.pem", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    TempDir broker_dir(0755);
    Broker broker(broker_dir, c.access);
    broker.Start();
    Lines lines;
    Publisher::Options options = MakeOptions(dir, broker.port(), lines);
    options.broker.user = "charger";
    options.broker.password = c.password;
    options.broker.cafile = c.cafile;
    Publisher publisher(std::move(options));
    if (c.says.empty()) {
      EXPECT_TRUE(WaitUntil([&] { return publisher.Status().connected; }, 30s));
      continue;
    }
    ASSERT_TRUE(WaitUntil([&] { return publisher.Status().failed_attempts >= 2; }, 30s));
    Record(dir);
    EXPECT_EQ(publisher.Status().problem.find(c.says), 0u) << publisher.Status().problem;
    EXPECT_EQ(lines.Texts().size(), 1u);
    EXPECT_EQ(lines.Count(c.says), 1);
  }
}

// The recorder moves a damaged file aside and goes on in a new one at the same path: the
// publisher follows it and sends the new file's frames from its first.
TEST(BrokerErrors, AFileMovedAsideIsFollowedToItsReplacement) {
  TempDir dir(0755);
  Record(dir);
  Broker broker(dir);
  broker.Start();
  Subscriber subscriber(broker.port(), "korvane/errors", true, "replaced-subscriber");
  ASSERT_TRUE(WaitUntil([&] { return !subscriber.Texts("suback").empty(); }, 30s));
  Lines lines;
  Publisher publisher(MakeOptions(dir, broker.port(), lines));
  ASSERT_TRUE(WaitUntil([&] { return publisher.Status().connected; }, 30s));
  Record(dir);
  ASSERT_TRUE(WaitUntil([&] { return publisher.Status().acked_seq == 2; }, 30s));
  const std::string old_client_id = publisher.Status().client_id;
  record::MoveAside(dir / "r.sqlite");
  Record(dir);
  Record(dir);
  const auto seqs = [&] {
    std::vector<std::int64_t> seen;
    for (const std::string& text : subscriber.Texts("korvane/errors/telemetry")) {
      seen.push_back(nlohmann::json::parse(text)["seq"].get<std::int64_t>());
    }
    return seen;
  };
  EXPECT_TRUE(WaitUntil([&] { return seqs().size() == 3; }, 30s));
  EXPECT_EQ(seqs(), (std::vector<std::int64_t>{2, 1, 2}));
  EXPECT_EQ(lines.Count("replaced"), 1);
  EXPECT_NE(publisher.Status().client_id, old_client_id);  // the broker's session is the file's
}

// A second publisher of the same file (the window beside korvane-log) would share its client id
// and push the first off the broker: it waits, says why, and takes over when the first stops.
TEST(BrokerErrors, OnePublisherPerFile) {
  TempDir dir(0755);
  Record(dir);
  Broker broker(dir);
  broker.Start();
  Lines first_lines;
  Lines second_lines;
  auto first = std::make_unique<Publisher>(MakeOptions(dir, broker.port(), first_lines));
  ASSERT_TRUE(WaitUntil([&] { return first->Status().connected; }, 30s));
  Publisher second(MakeOptions(dir, broker.port(), second_lines));
  ASSERT_TRUE(WaitUntil([&] { return !second.Status().problem.empty(); }, 30s));
  EXPECT_EQ(second.Status().problem, "another program publishes " + (dir / "r.sqlite"));
  first.reset();
  EXPECT_TRUE(WaitUntil([&] { return second.Status().connected; }, 30s));
  EXPECT_EQ(second_lines.Count("another program publishes"), 1);
  EXPECT_EQ(first_lines.Count("lost"), 0);
}

// A host that takes the connection and never answers (a hung broker, a firewall) must not hold
// up the program's exit for the connection timeout.
TEST(BrokerErrors, StopCutsAWaitForASilentBrokerShort) {
  TempDir dir(0755);
  Record(dir);
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t size = sizeof address;
  auto* raw = reinterpret_cast<sockaddr*>(&address);
  ASSERT_EQ(::bind(fd, raw, size), 0);
  ASSERT_EQ(::listen(fd, 4), 0);
  ASSERT_EQ(::getsockname(fd, raw, &size), 0);
  Lines lines;
  auto publisher = std::make_unique<Publisher>(MakeOptions(dir, ntohs(address.sin_port), lines));
  pollfd pending{fd, POLLIN, 0};
  ASSERT_EQ(::poll(&pending, 1, 10000), 1);  // connected, waiting for the broker's answer
  auto stopped = std::async(std::launch::async, [&] { publisher->Stop(); });
  // Well inside the 10 s the publisher would otherwise wait.
  EXPECT_EQ(stopped.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  stopped.wait();
  EXPECT_EQ(lines.Count("cannot connect"), 0);
  ::close(fd);
}

// A new file named by a relative path, later moved and named by its absolute one, is the same
// client with the same mark: what the first publisher sent and never had acknowledged, the
// second sends.
TEST(Identity, ThePlaceIsKeptWhateverPathNamesTheFile) {
  TempDir dir(0755);
  Broker broker(dir);
  broker.Start();
  Lines lines;
  Publisher::Options options = MakeOptions(dir, broker.port(), lines);
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  options.store_path = "r.sqlite";  // a new file: the publisher makes it
  auto first = std::make_unique<Publisher>(options);
  ASSERT_TRUE(WaitUntil([&] { return first->Status().connected; }, 30s));
  for (int frame = 1; frame <= 4; ++frame) {
    Record(dir);
    if (frame == 2) {
      ASSERT_TRUE(WaitUntil([&] { return first->Status().acked_seq == 2; }, 30s));
      broker.Signal(SIGSTOP);
    }
  }
  ASSERT_TRUE(WaitUntil([&] { return first->Status().sent_seq == 4; }, 30s));
  const std::string client_id = first->Status().client_id;
  first.reset();
  std::filesystem::current_path(cwd);
  broker.Signal(SIGCONT);
  std::filesystem::rename(dir / "r.sqlite", options.store_path = dir / "moved.sqlite");
  Publisher second(options);
  ASSERT_TRUE(WaitUntil([&] { return second.Status().acked_seq == 4; }, 30s));
  EXPECT_EQ(second.Status().client_id, client_id);
  EXPECT_TRUE(lines.Texts().back().ends_with(" from frame 3"));
}

}  // namespace
}  // namespace korvane::publish
