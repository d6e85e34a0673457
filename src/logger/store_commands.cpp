// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/logger/store_commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <vector>

#include "korvane/logger/pack_commands.h"
#include "korvane/logger/run_table.h"
#include "korvane/model/record.h"
#include "korvane/record/run_files.h"
#include "korvane/record/store.h"
#include "korvane/web/run_json.h"

namespace korvane::logger {
namespace {

std::runtime_error SystemError(const std::string& what, int error) {
  return std::runtime_error(what + ": " + std::strerror(error));
}

// Opens an existing store to read it; a missing file is an error here, not a new store.
std::unique_ptr<record::Store> OpenExisting(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    throw SystemError("cannot open the recordings file " + path, errno);
  }
  return std::make_unique<record::Store>(path, record::StoreAccess::kRead);
}

// Writes `path` through a temporary file beside it, renamed over it by Commit().
class ReplacingFile {
 public:
  explicit ReplacingFile(const std::string& path) : path_(path), temporary_(path + ".XXXXXX") {
    const int fd = ::mkstemp(temporary_.data());
    if (fd < 0) {
      throw SystemError("cannot write " + path_, errno);
    }
    // A new file gets the permissions a plain create would give it.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    out_.open(temporary_, std::ios::binary | std::ios::trunc);
  }
  ~ReplacingFile() {
    if (!committed_) {
      ::unlink(temporary_.c_str());
    }
  }

  std::ostream& Stream() { return out_; }

  void Commit() {
    out_.close();
    if (!out_) {
      throw std::runtime_error("cannot write " + path_);
    }
    const int fd = ::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    const int error = errno;
    if (fd >= 0) {
      ::close(fd);
    }
    if (!synced) {
      throw SystemError("cannot write " + path_, error);
    }
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
      throw SystemError("cannot write " + path_, errno);
    }
    committed_ = true;
  }

 private:
  const std::string path_;
  std::string temporary_;
  std::ofstream out_;
  bool committed_ = false;
};

std::string Counted(std::int64_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace

void ListRuns(const std::string& store_path, const RunListing& listing, std::ostream& out) {
  const std::unique_ptr<record::Store> store = OpenExisting(store_path);
  std::vector<record::RunSummary> runs = store->Runs();
  std::erase_if(runs, [&listing](const record::RunSummary& run) {
    return (listing.channel != 0 && run.channel != listing.channel) ||
           (listing.since_ms && run.start_ms < *listing.since_ms);
  });
  if (listing.json) {
    out << web::RunArrayJson(runs, store->Identity());
  } else {
    out << RunTableHeader();
    for (const record::RunSummary& run : runs) {
      out << RunTableLine(run);
    }
  }
  out.flush();
  if (!out) {
    throw std::runtime_error("cannot write to standard output");
  }
}

void ExportRunTo(const std::string& store_path, std::int64_t run_id, const std::string& output) {
  const std::unique_ptr<record::Store> store = OpenExisting(store_path);
  if (!store->Run(run_id)) {
    throw std::runtime_error("there is no run " + std::to_string(run_id) + " in " + store_path);
  }
  const bool to_stdout = output.empty() || output == "-";
  const std::string target = to_stdout ? "to standard output" : output;
  const auto write = [&](std::ostream& out) {
    try {
      record::ExportRun(*store, run_id, out);
    } catch (const record::StoreError&) {
      throw;
    } catch (const std::runtime_error&) {
      throw std::runtime_error("cannot write " + target);
    }
  };
  struct stat info {};
  if (to_stdout) {
    write(std::cout);
  } else if (::stat(output.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    std::ofstream out(output, std::ios::binary);
    if (!out) {
      throw SystemError("cannot write " + output, errno);
    }
    write(out);
  } else {
    ReplacingFile file(output);
    write(file.Stream());
    file.Commit();
  }
}

void ImportInto(const std::string& store_path, const std::string& file, const std::string& timezone,
                const std::string& pack, std::ostream& out) {
  // An unknown pack imports nothing and makes no store.
  std::unique_ptr<record::Store> store;
  std::int64_t pack_id = 0;
  if (!pack.empty()) {
    struct stat info {};
    if (::stat(store_path.c_str(), &info) != 0) {
      throw record::PackError("there is no pack \"" + pack + "\" in " + store_path);
    }
    store = std::make_unique<record::Store>(store_path);
    pack_id = FindPackNamed(*store, pack).id;
  }
  const bool from_stdin = file == "-";
  const std::string name = from_stdin ? "standard input" : file;
  std::ifstream opened;
  if (!from_stdin) {
    opened.open(file, std::ios::binary);
    struct stat info {};
    if (!opened || (::stat(file.c_str(), &info) == 0 && S_ISDIR(info.st_mode))) {
      throw SystemError("cannot open " + file, opened ? EISDIR : errno);
    }
  }
  std::vector<model::S_HARDWARE_DATA> frames;
  try {
    frames = record::ReadExport(from_stdin ? std::cin : opened, {.timezone = timezone});
  } catch (const record::ImportError& error) {
    throw std::runtime_error(name + ": " + error.what() + "; nothing was imported");
  }
  if (frames.empty()) {
    out << "nothing new in " << name << ": it has no frames\n";
    return;
  }
  if (!store) {
    store = std::make_unique<record::Store>(store_path);
  }
  const record::ImportResult result = record::ImportFrames(*store, frames, pack_id);
  if (result.frames == 0) {
    out << "nothing new in " << name << ": all " << Counted(result.frames_existing, "frame")
        << " are already in " << store_path << "\n";
    return;
  }
  std::vector<std::int64_t> ids;
  for (const record::RunSummary& run : result.runs) {
    ids.push_back(run.id);
  }
  std::sort(ids.begin(), ids.end());
  out << "imported " << Counted(result.frames, result.frames_existing > 0 ? "new frame" : "frame");
  if (result.frames_existing > 0) {
    out << " (" << result.frames_existing << " already there)";
  }
  out << " and " << Counted(static_cast<std::int64_t>(ids.size()), "run");
  if (ids.size() > 2 && ids.back() - ids.front() + 1 == static_cast<std::int64_t>(ids.size())) {
    out << " (" << ids.front() << " to " << ids.back() << ")";
  } else {
    for (std::size_t i = 0; i < ids.size(); ++i) {
      out << (i == 0 ? " (" : ", ") << ids[i] << (i + 1 == ids.size() ? ")" : "");
    }
  }
  out << " into " << store_path << "\n";
}

}  // namespace korvane::logger
