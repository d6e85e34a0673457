// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "korvane/publish/options.h"

namespace korvane::publish {
class Publisher;
struct PublisherStatus;
}  // namespace korvane::publish

namespace korvane::ui {

// The window's publishing of its recordings file to an MQTT broker, beside its recorder and on
// the publisher's own thread. Demo mode publishes nothing, so a broker's dashboards never hold
// simulated frames.
class WindowPublishing {
 public:
  // Nothing is published when `choice` names no broker. A choice that cannot be used (a bad
  // address, an unreadable password file) publishes nothing and says why in Describe(). `line`
  // gets the publisher's lines (connected, or each new cause of failure) on its thread, and the
  // fault of an unusable choice at once.
  WindowPublishing(const publish::BrokerChoice& choice, const std::string& store_path, bool demo,
                   std::function<void(const std::string&)> line);
  ~WindowPublishing();
  WindowPublishing(const WindowPublishing&) = delete;
  WindowPublishing& operator=(const WindowPublishing&) = delete;

  // The recorder must have stopped: what it wrote last goes out, then "offline". Idempotent.
  void Stop();

  bool Publishing() const { return publisher_ != nullptr; }
  // One or two lines for the recording indicator's tooltip; empty when no broker is named.
  std::string Describe() const;

 private:
  std::string address_;  // "host:port" as connected to, or as the user wrote it
  std::string topic_;
  std::string fault_;  // why nothing is published, when a broker is named
  std::unique_ptr<publish::Publisher> publisher_;
};

// The tooltip's words for a publisher's state.
std::string DescribePublishing(const std::string& address, const std::string& topic,
                               const publish::PublisherStatus& status);

}  // namespace korvane::ui
