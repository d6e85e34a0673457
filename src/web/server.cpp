// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/web/server.h"

#include <netdb.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "korvane/record/store.h"
#include "korvane/web/query.h"
#include "routes.h"

namespace korvane::web {
namespace {

namespace fs = std::filesystem;

// A request that stalls mid-way is dropped after this long; an idle kept-alive connection too.
constexpr time_t kReadTimeoutS = 5;
constexpr time_t kWriteTimeoutS = 5;
constexpr time_t kKeepAliveS = 3;
constexpr std::size_t kKeepAliveRequests = 100;
// Only GET and HEAD are served: a request body is never wanted.
constexpr std::size_t kMaxPayload = 16 * 1024;

std::runtime_error CannotListen(const ServerOptions& options, const std::string& why) {
  return std::runtime_error("cannot serve the web page on " + options.address + ":" +
                            std::to_string(options.port) + ": " + why);
}

// The header a client must send: "Basic " and base64 of "user:password".
std::string ExpectedAuthorization(const std::string& user, const std::string& password) {
  const std::string plain = user + ":" + password;
  std::string encoded(4 * ((plain.size() + 2) / 3) + 1, '\0');
  const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                                     reinterpret_cast<const unsigned char*>(plain.data()),
                                     static_cast<int>(plain.size()));
  encoded.resize(static_cast<std::size_t>(length));
  return encoded;
}

bool Authorized(const httplib::Request& request, const std::string& expected) {
  const std::string header = request.get_header_value("Authorization");
  constexpr std::size_t kScheme = 6;  // "Basic "
  if (header.size() != kScheme + expected.size() ||
      strncasecmp(header.c_str(), "basic ", kScheme) != 0) {
    return false;
  }
  return CRYPTO_memcmp(header.data() + kScheme, expected.data(), expected.size()) == 0;
}

const char* DefaultMessage(int status) {
  switch (status) {
    case 400:
      return "the request is malformed";
    case 401:
      return "a user name and password are needed";
    case 404:
      return "there is no such page";
    case 405:
      return "only GET and HEAD are served";
    case 413:
      return "the request is too large";
    case 414:
      return "the address is too long";
    case 429:
      return "too many requests; try again later";
    case 503:
      return "the server is busy";
    default:
      return "the request failed";
  }
}

void CheckReadable(const std::string& what, const std::string& path) {
  std::ifstream file(path);
  if (!file) {
    throw std::runtime_error("cannot read the " + what + " " + path + ": " + std::strerror(errno));
  }
}

std::unique_ptr<httplib::Server> MakeServer(const ServerOptions& options) {
  if (options.cert_file.empty() != options.key_file.empty()) {
    throw std::runtime_error("HTTPS needs both a certificate and its key");
  }
  if (options.cert_file.empty()) {
    return std::make_unique<httplib::Server>();
  }
  CheckReadable("certificate", options.cert_file);
  CheckReadable("key", options.key_file);
  auto server =
      std::make_unique<httplib::SSLServer>(options.cert_file.c_str(), options.key_file.c_str());
  if (!server->is_valid()) {
    throw std::runtime_error("cannot use the certificate " + options.cert_file + " with the key " +
                             options.key_file + " (not PEM, or they do not belong together)");
  }
  return server;
}

void Configure(httplib::Server& server, detail::Context& context) {
  const int threads = context.options.threads;
  server.new_task_queue = [threads] {
    return new httplib::ThreadPool(static_cast<std::size_t>(threads));
  };
  server.set_read_timeout(kReadTimeoutS, 0)
      .set_write_timeout(kWriteTimeoutS, 0)
      .set_keep_alive_timeout(kKeepAliveS)
      .set_keep_alive_max_count(kKeepAliveRequests)
      .set_payload_max_length(kMaxPayload)
      .set_tcp_nodelay(true)
      // SO_REUSEADDR only: a restart binds again at once, but the library's default SO_REUSEPORT
      // would let a second program share the port instead of being told it is taken.
      .set_socket_options([](socket_t socket) {
        const int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
      })
      .set_default_headers(
          {{"X-Content-Type-Options", "nosniff"}, {"Referrer-Policy", "no-referrer"}});
  for (const auto& [extension, type] : {std::pair{"html", "text/html; charset=utf-8"},
                                        {"css", "text/css; charset=utf-8"},
                                        {"js", "text/javascript; charset=utf-8"},
                                        {"mjs", "text/javascript; charset=utf-8"},
                                        {"json", "application/json"},
                                        {"svg", "image/svg+xml"},
                                        {"png", "image/png"},
                                        {"ico", "image/x-icon"},
                                        {"webmanifest", "application/manifest+json"},
                                        {"map", "application/json"},
                                        {"txt", "text/plain; charset=utf-8"}}) {
    server.set_file_extension_and_mimetype_mapping(extension, type);
  }

  std::optional<std::string> expected;
  if (context.options.password) {
    expected = ExpectedAuthorization(context.options.user, *context.options.password);
  }
  server.set_pre_routing_handler([expected](const httplib::Request& request,
                                            httplib::Response& response) {
    if (request.method != "GET" && request.method != "HEAD") {
      response.set_header("Allow", "GET, HEAD");
      detail::SendError(response, 405, DefaultMessage(405));
      return httplib::Server::HandlerResponse::Handled;
    }
    if (expected && !Authorized(request, *expected)) {
      response.set_header("WWW-Authenticate", "Basic realm=\"Korvane Connect\", charset=\"UTF-8\"");
      detail::SendError(response, 401, DefaultMessage(401));
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server.set_error_handler(httplib::Server::HandlerWithResponse(
      [](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty() && !response.has_header("Content-Type")) {
          detail::SendError(response, response.status, DefaultMessage(response.status));
        }
        return httplib::Server::HandlerResponse::Handled;
      }));
  server.set_exception_handler(
      [](const httplib::Request&, httplib::Response& response, std::exception_ptr error) {
        try {
          std::rethrow_exception(error);
        } catch (const QueryError& bad) {
          detail::SendError(response, 400, bad.what());
        } catch (const record::StoreError& store) {
          detail::SendError(response, 503, store.what());
        } catch (const std::exception& other) {
          detail::SendError(response, 500, other.what());
        } catch (...) {
          detail::SendError(response, 500, "the request failed");
        }
      });
}

}  // namespace

struct Server::Impl {
  Impl(ServerOptions options, LiveSlot& live) : context(std::move(options), live) {}

  detail::Context context;
  std::unique_ptr<httplib::Server> http;
  std::thread listener;
  std::atomic<bool> listen_ended{false};
  int port = 0;
};

Server::Server(ServerOptions options, LiveSlot& live)
    : impl_(std::make_unique<Impl>(std::move(options), live)) {
  const ServerOptions& chosen = impl_->context.options;
  if (chosen.root.empty() || !fs::is_regular_file(fs::path(chosen.root) / "index.html")) {
    throw std::runtime_error("cannot serve the web page: its files are not in \"" + chosen.root +
                             "\" (no index.html; name their folder with --http-root)");
  }
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  const int lookup = ::getaddrinfo(chosen.address.c_str(), nullptr, &hints, &found);
  if (lookup != 0) {
    throw CannotListen(chosen, std::string("not an address (") + gai_strerror(lookup) + ")");
  }
  ::freeaddrinfo(found);

  impl_->http = MakeServer(chosen);
  Configure(*impl_->http, impl_->context);
  detail::AddApiRoutes(*impl_->http, impl_->context);
  detail::AddEventRoute(*impl_->http, impl_->context);
  detail::AddPageRoutes(*impl_->http, impl_->context);

  errno = 0;
  if (chosen.port == 0) {
    impl_->port = impl_->http->bind_to_any_port(chosen.address);
  } else {
    impl_->port = impl_->http->bind_to_port(chosen.address, chosen.port) ? chosen.port : -1;
  }
  if (impl_->port <= 0) {
    throw CannotListen(chosen, errno != 0 ? std::strerror(errno) : "the address cannot be used");
  }
  if (chosen.follow_store) {
    impl_->context.follower =
        std::make_unique<StoreFollower>(impl_->context.pool, impl_->context.live);
  }
  impl_->listener = std::thread([this] {
    impl_->http->listen_after_bind();
    impl_->listen_ended = true;
  });
  // Stopping works only once the library runs its loop.
  while (!impl_->http->is_running() && !impl_->listen_ended) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

Server::~Server() {
  impl_->context.stopping = true;
  impl_->http->stop();
  if (impl_->listener.joinable()) {
    impl_->listener.join();  // also waits for the threads of the requests under way
  }
  impl_->context.follower.reset();
}

int Server::Port() const {
  return impl_->port;
}

std::string Server::Url() const {
  const std::string& address = impl_->context.options.address;
  const bool v6 = address.find(':') != std::string::npos;
  return std::string(impl_->context.options.cert_file.empty() ? "http" : "https") + "://" +
         (v6 ? "[" + address + "]" : address) + ":" + std::to_string(impl_->port) + "/";
}

std::string DefaultWebRoot(const std::string& program_path) {
  std::error_code error;
  const fs::path program = fs::canonical(program_path, error);
  if (error) {
    return "";
  }
  const fs::path bin = program.parent_path();
  for (const fs::path& candidate :
       {bin.parent_path() / "share" / "korvane-connect" / "web", bin.parent_path() / "web"}) {
    if (fs::is_regular_file(candidate / "index.html", error)) {
      return candidate.string();
    }
  }
  return "";
}

}  // namespace korvane::web
