#pragma once

#include <optional>
#include <string>

#include "korvane/test_support/child.h"

struct xcb_connection_t;

namespace korvane::test_support {

// A private X server (Xvfb, 1280x1024x24) on a free display, reachable through its local socket
// only, its output in `log`. The constructor waits up to 30 s for it to take a connection.
class XServer {
 public:
  explicit XServer(const std::string& log);
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  bool Up() const;
  // The DISPLAY value (":n").
  const std::string& Display() const { return display_; }
  // Top-level windows shown now (on a display of its own: the program's).
  int ShownWindows() const;

 private:
  std::optional<Child> server_;
  std::string display_;
  xcb_connection_t* connection_ = nullptr;
};

}  // namespace korvane::test_support
