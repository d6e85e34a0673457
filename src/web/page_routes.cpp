// SPDX-License-Identifier: GPL-3.0-or-later
// The page's own files, and a run in the export format as a download.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <streambuf>

#include "korvane/model/date_time.h"
#include "korvane/record/run_files.h"
#include "korvane/web/query.h"
#include "routes.h"

namespace korvane::web::detail {
namespace {

namespace fs = std::filesystem;

// Pages and scripts are checked again on every load (no validators: they are small), so a
// newly installed version is never mixed with a cached one.
constexpr const char* kPageCaching = "no-cache";

void SendPage(const Context& context, const std::string& name, httplib::Response& response) {
  std::ifstream file(fs::path(context.options.root) / name, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  if (!file || !text) {
    SendError(response, 404, "the page " + name + " is not installed");
    return;
  }
  response.set_content(text.str(), "text/html; charset=utf-8");
  response.set_header("Cache-Control", kPageCaching);
}

// The export's lines into the response in large chunks; a client that has gone makes the
// stream fail, so the export stops instead of reading the rest of the run for nobody.
class SinkBuffer final : public std::streambuf {
 public:
  explicit SinkBuffer(httplib::DataSink& sink) : sink_(sink), buffer_(64 * 1024) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
  }

 protected:
  int_type overflow(int_type c) override {
    if (sync() != 0) {
      return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  int sync() override {
    const auto size = static_cast<std::size_t>(pptr() - pbase());
    const bool written = size == 0 || sink_.write(pbase(), size);
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return written ? 0 : -1;
  }

 private:
  httplib::DataSink& sink_;
  std::vector<char> buffer_;
};

std::string ExportName(const record::RunSummary& run) {
  const model::DateTimeParts day =
      model::DecodeDateTime(model::StampFromUnixMs(run.start_ms).Local);
  char date[16];
  std::snprintf(date, sizeof date, "%04d%02d%02d", day.Year, day.Month, day.Day);
  return "korvane-run-" + std::to_string(run.id) + "-" + date + ".tsv";
}

}  // namespace

void AddPageRoutes(httplib::Server& server, Context& context) {
  server.Get("/", [&context](const httplib::Request&, httplib::Response& response) {
    SendPage(context, "index.html", response);
  });
  server.Get("/runs", [&context](const httplib::Request&, httplib::Response& response) {
    SendPage(context, "runs.html", response);
  });
  // The script reads the run's id from the address.
  server.Get(R"(/runs/([^/]+))",
             [&context](const httplib::Request& request, httplib::Response& response) {
               ParseRunId(request.matches[1]);
               SendPage(context, "run.html", response);
             });

  server.Get(R"(/runs/([^/]+)/export)", [&context](const httplib::Request& request,
                                                   httplib::Response& response) {
    const std::int64_t id = ParseRunId(request.matches[1]);
    std::optional<record::RunSummary> run;
    {
      const StorePool::Lease store = context.pool.Take();
      run = store->Run(id);
    }
    if (!run) {
      SendError(response, 404, "there is no run " + std::to_string(id));
      return;
    }
    response.set_header("Content-Disposition", "attachment; filename=\"" + ExportName(*run) + "\"");
    response.set_header("Cache-Control", "no-store");
    response.set_chunked_content_provider("text/tab-separated-values; charset=utf-8",
                                          [&context, id](std::size_t, httplib::DataSink& sink) {
                                            // The whole export in one call, streamed; the headers
                                            // are gone already, so a failure can only cut the
                                            // download short.
                                            try {
                                              const StorePool::Lease store = context.pool.Take();
                                              SinkBuffer buffer(sink);
                                              std::ostream out(&buffer);
                                              record::ExportRun(*store, id, out);
                                              out.flush();
                                              if (!out) {
                                                return false;
                                              }
                                            } catch (const std::exception&) {
                                              return false;
                                            }
                                            sink.done();
                                            return true;
                                          });
  });

  const fs::path files = fs::path(context.options.root) / "static";
  if (fs::is_directory(files)) {
    server.set_mount_point("/static", files.string(), {{"Cache-Control", kPageCaching}});
  }
}

}  // namespace korvane::web::detail
