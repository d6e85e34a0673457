// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>

#include "korvane/record/packs.h"
#include "korvane/record/store.h"

namespace korvane::logger {

// The verbs about packs. Each throws record::PackError for a refused pack operation (an unknown
// pack, a duplicate or invalid field, the delete of a pack with runs), std::runtime_error or one
// of the record layer's errors otherwise, always with the whole message for the user on one line.
// Every verb but `pack add` needs an existing store: none of them creates one.

// The packs listing: tab-separated, one line per pack, texts of the current C locale; a value
// that is not known (no run, no estimate) is an empty field, never 0.
std::string PackTableHeader();
std::string PackTableLine(const record::PackFigures& figures);

// The packs by name with their figures; retired packs only with `all`.
void ListPacks(const std::string& store_path, bool all, std::ostream& out);

// The pack of that name; PackError "there is no pack "NAME" in STORE" when there is none.
record::Pack FindPackNamed(const record::Store& store, const std::string& name);

// Stores a new pack, creating the store when missing (not for a pack it refuses), and says so.
void AddPack(const std::string& store_path, const record::Pack& pack, std::ostream& out);

// What `pack edit` and `pack retire` change; the fields left empty stay as they are.
struct PackChanges {
  std::optional<std::string> name;
  std::optional<std::string> chemistry;
  std::optional<int> cells;
  std::optional<int> rated_mah;
  std::optional<std::string> note;
  std::optional<bool> retired;
};
void EditPack(const std::string& store_path, const std::string& name, const PackChanges& changes,
              std::ostream& out);
void DeletePack(const std::string& store_path, const std::string& name, std::ostream& out);

// The run then belongs to the pack named `pack`, or to none.
void AssignRun(const std::string& store_path, std::int64_t run_id,
               const std::optional<std::string>& pack, std::ostream& out);

// The pack chosen per channel for the runs that begin on it: channel (1 or 2) to a pack's name,
// "" to clear the choice. Every name is looked up before any choice changes. The store is
// created when missing, as the recording that follows would create it.
void ChoosePacks(const std::string& store_path, const std::map<int, std::string>& choices);

}  // namespace korvane::logger
