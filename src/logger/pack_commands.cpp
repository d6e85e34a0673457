// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/logger/pack_commands.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "korvane/logger/run_table.h"

namespace korvane::logger {
namespace {

bool Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

// Reading or changing packs never makes a store: only `pack add` does.
void MustExist(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    const int error = errno;
    throw std::runtime_error("cannot open the recordings file " + path + ": " +
                             std::strerror(error));
  }
}

std::unique_ptr<record::Store> OpenToChange(const std::string& path) {
  MustExist(path);
  return std::make_unique<record::Store>(path);
}

std::string Quoted(const std::string& name) {
  return "\"" + name + "\"";
}

std::string Optional(const std::optional<int>& value) {
  return value ? std::to_string(*value) : std::string();
}

// One decimal, with the locale's separator; empty when unknown.
std::string Tenths(const std::optional<double>& value) {
  if (!value) {
    return {};
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.1f", *value);
  return text;
}

void Done(std::ostream& out, const std::string& line) {
  out << line << "\n";
  out.flush();
  if (!out) {
    throw std::runtime_error("cannot write to standard output");
  }
}

}  // namespace

std::string PackTableHeader() {
  return "Pack\tChemistry\tCells\tRated [mAh]\tRuns\tCycles\tLast used\tLast capacity "
         "[mAh]\tHealth [%]\tIR [mOhm]\tRetired\n";
}

std::string PackTableLine(const record::PackFigures& figures) {
  const record::Pack& pack = figures.pack;
  std::string line = FieldText(pack.name);
  for (const std::string& field :
       {FieldText(pack.chemistry), std::to_string(pack.cells), std::to_string(pack.rated_mah),
        std::to_string(figures.runs), std::to_string(figures.cycles),
        figures.last_used_ms != 0 ? LocalTimeText(figures.last_used_ms) : std::string(),
        Optional(figures.last_capacity_mah), Tenths(figures.health_percent),
        Tenths(figures.ir_mohm), std::string(pack.retired ? "yes" : "no")}) {
    line += '\t';
    line += field;
  }
  return line + "\n";
}

void ListPacks(const std::string& store_path, bool all, std::ostream& out) {
  MustExist(store_path);
  const record::Store store(store_path, record::StoreAccess::kRead);
  std::vector<record::Pack> packs = store.Packs();
  if (!all) {
    std::erase_if(packs, [](const record::Pack& pack) { return pack.retired; });
  }
  out << PackTableHeader();
  for (const record::PackFigures& figures : record::ComputeFigures(packs, store.Runs())) {
    out << PackTableLine(figures);
  }
  out.flush();
  if (!out) {
    throw std::runtime_error("cannot write to standard output");
  }
}

record::Pack FindPackNamed(const record::Store& store, const std::string& name) {
  std::optional<record::Pack> pack = store.FindPack(name);
  if (!pack) {
    throw record::PackError("there is no pack " + Quoted(name) + " in " + store.Path());
  }
  return *pack;
}

void AddPack(const std::string& store_path, const record::Pack& pack, std::ostream& out) {
  // Refused before the store is opened: a refused pack makes no store.
  if (const std::string problem = record::PackProblem(pack); !problem.empty()) {
    throw record::PackError(problem);
  }
  record::Store store(store_path);
  store.AddPack(pack);
  Done(out, "added pack " + Quoted(pack.name) + " to " + store_path);
}

void EditPack(const std::string& store_path, const std::string& name, const PackChanges& changes,
              std::ostream& out) {
  const std::unique_ptr<record::Store> store = OpenToChange(store_path);
  record::Pack pack = FindPackNamed(*store, name);
  const record::Pack before = pack;
  pack.name = changes.name.value_or(pack.name);
  pack.chemistry = changes.chemistry.value_or(pack.chemistry);
  pack.cells = changes.cells.value_or(pack.cells);
  pack.rated_mah = changes.rated_mah.value_or(pack.rated_mah);
  pack.note = changes.note.value_or(pack.note);
  pack.retired = changes.retired.value_or(pack.retired);
  store->EditPack(pack);
  std::string line;
  if (changes.retired && *changes.retired != before.retired) {
    line =
        pack.retired ? "retired pack " + Quoted(name) : "pack " + Quoted(name) + " is in use again";
  } else {
    line = "changed pack " + Quoted(name);
  }
  if (pack.name != before.name) {
    line += ", now named " + Quoted(pack.name);
  }
  Done(out, line);
}

void DeletePack(const std::string& store_path, const std::string& name, std::ostream& out) {
  const std::unique_ptr<record::Store> store = OpenToChange(store_path);
  store->DeletePack(FindPackNamed(*store, name).id);
  Done(out, "deleted pack " + Quoted(name));
}

void AssignRun(const std::string& store_path, std::int64_t run_id,
               const std::optional<std::string>& pack, std::ostream& out) {
  const std::unique_ptr<record::Store> store = OpenToChange(store_path);
  const std::int64_t pack_id = pack ? FindPackNamed(*store, *pack).id : 0;
  if (!store->Run(run_id)) {
    throw std::runtime_error("there is no run " + std::to_string(run_id) + " in " + store_path);
  }
  store->AssignRuns({run_id}, pack_id);
  Done(out, "run " + std::to_string(run_id) + " now belongs to " +
                (pack ? "pack " + Quoted(*pack) : std::string("no pack")));
}

void ChoosePacks(const std::string& store_path, const std::map<int, std::string>& choices) {
  if (!Exists(store_path)) {
    // A new store has no pack to choose and no choice to clear.
    for (const auto& [channel, name] : choices) {
      if (!name.empty()) {
        throw record::PackError("there is no pack " + Quoted(name) + " in " + store_path);
      }
    }
    return;
  }
  record::Store store(store_path);
  std::map<int, std::int64_t> ids;
  for (const auto& [channel, name] : choices) {
    ids[channel] = name.empty() ? 0 : FindPackNamed(store, name).id;
  }
  for (const auto& [channel, id] : ids) {
    store.ChoosePack(channel, id);
  }
}

}  // namespace korvane::logger
