// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "korvane/test_support/child.h"

namespace korvane::test_support {

// A private X server (Xvfb, one 1280x1024x24 screen) on a free display, reachable through its
// local socket only, its output in `log`. The constructor waits up to 30 s (a loaded machine
// running sanitizer builds is slow) for it to take a connection.
class XServer {
 public:
  explicit XServer(const std::string& log) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
      return;
    }
    server_.emplace(
        std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp",
                                 "-ac", "-screen", "0", "1280x1024x24"},
        Environment(), log, fds[1]);
    ::close(fds[1]);
    // Xvfb writes the display number it chose, then a newline, once it listens.
    std::string number;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    pollfd readable{fds[0], POLLIN, 0};
    char c = 0;
    while (std::chrono::steady_clock::now() < end && ::poll(&readable, 1, 100) >= 0) {
      if (readable.revents != 0) {
        if (::read(fds[0], &c, 1) != 1 || c == '\n') {
          break;
        }
        number += c;
      }
    }
    ::close(fds[0]);
    if (c == '\n' && !number.empty()) {
      display_ = ":" + number;
      connection_ = xcb_connect(display_.c_str(), nullptr);
    }
  }
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;
  ~XServer() {
    if (connection_ != nullptr) {
      xcb_disconnect(connection_);
    }
  }

  bool Up() const { return connection_ != nullptr && xcb_connection_has_error(connection_) == 0; }
  // The DISPLAY value (":n").
  const std::string& Display() const { return display_; }

  // Top-level windows shown now (on a display of its own: the program's).
  int ShownWindows() const {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root), nullptr);
    int shown = 0;
    for (int i = 0; tree != nullptr && i < xcb_query_tree_children_length(tree); ++i) {
      xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
          connection_, xcb_get_window_attributes(connection_, xcb_query_tree_children(tree)[i]),
          nullptr);
      shown += attributes != nullptr && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
      std::free(attributes);
    }
    std::free(tree);
    return shown;
  }

 private:
  std::optional<Child> server_;
  std::string display_;
  xcb_connection_t* connection_ = nullptr;
};

}  // namespace korvane::test_support
