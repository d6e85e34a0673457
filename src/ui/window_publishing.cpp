// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/window_publishing.h"

#include <stdexcept>

#include "korvane/publish/publisher.h"

namespace korvane::ui {

WindowPublishing::WindowPublishing(const publish::BrokerChoice& choice,
                                   const std::string& store_path, bool demo,
                                   std::function<void(const std::string&)> line) {
  if (choice.address.empty()) {
    return;
  }
  address_ = choice.address;
  if (demo) {
    fault_ = "not in demo mode";
    return;
  }
  publish::Publisher::Options options;
  try {
    options.broker = publish::ResolveBroker(choice);
  } catch (const std::exception& error) {
    fault_ = error.what();
    if (line) {
      line("mqtt: not publishing: " + fault_);
    }
    return;
  }
  address_ = options.broker.host + ":" + std::to_string(options.broker.port);
  topic_ = options.broker.topic_prefix;
  options.store_path = store_path;
  options.on_line = std::move(line);
  publisher_ = std::make_unique<publish::Publisher>(std::move(options));
}

WindowPublishing::~WindowPublishing() {
  Stop();
}

void WindowPublishing::Stop() {
  if (publisher_) {
    publisher_->Stop();
  }
}

std::string WindowPublishing::Describe() const {
  if (address_.empty()) {
    return {};
  }
  if (!publisher_) {
    return "Not publishing to MQTT broker " + address_ + ": " + fault_;
  }
  return DescribePublishing(address_, topic_, publisher_->Status());
}

std::string DescribePublishing(const std::string& address, const std::string& topic,
                               const publish::PublisherStatus& status) {
  std::string text;
  if (status.connected) {
    text = "Publishing to MQTT broker " + address + " under " + topic + "/#";
  } else if (status.problem.empty()) {
    text = "Connecting to MQTT broker " + address;
  } else {
    text = "Not publishing to MQTT broker " + address + ": " + status.problem + "; retrying";
  }
  if (status.acked_seq > 0) {
    text +=
        "\nThe broker has acknowledged every frame up to no. " + std::to_string(status.acked_seq);
  }
  return text;
}

}  // namespace korvane::ui
