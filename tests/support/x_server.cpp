#include "korvane/test_support/x_server.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <vector>

namespace korvane::test_support {

// Generous: a loaded machine running sanitizer builds starts it slowly.
constexpr auto kStartDeadline = std::chrono::seconds(30);

XServer::XServer(const std::string& log) {
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
  const auto end = std::chrono::steady_clock::now() + kStartDeadline;
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

XServer::~XServer() {
  if (connection_ != nullptr) {
    xcb_disconnect(connection_);
  }
}

bool XServer::Up() const {
  return connection_ != nullptr && xcb_connection_has_error(connection_) == 0;
}

int XServer::ShownWindows() const {
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

}  // namespace korvane::test_support
