// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace korvane::logger {

// korvane-log's pack verbs on its command line: packs, pack add|edit|retire|delete and assign,
// and the pack options of record (--pack, --no-pack) and import (--pack). Bad usage (a number
// that is not a whole one, a channel given twice, assign with neither PACK nor --none) is a
// CLI::ParseError from CLI::App::parse, like every other.
class PackVerbs {
 public:
  // Adds the verbs to `app` and the options to `record` and `importer`; `store_option` gives a
  // verb its --store.
  PackVerbs(CLI::App& app, CLI::App& record, CLI::App& importer,
            const std::function<void(CLI::App*)>& store_option);

  // The verbs' names (for the unknown-verb message) and the subcommands made, for their footers.
  static const std::vector<std::string>& Names();
  const std::vector<CLI::App*>& Verbs() const { return verbs_; }

  // Runs the pack verb on the command line, if any, on the store; false when none was given.
  // Throws what the verbs of pack_commands.h throw.
  bool Run(const std::string& store_path, std::ostream& out) const;

  // record's choices: channel to pack name, "" to clear.
  const std::map<int, std::string>& Choices() const { return choices_; }
  // import's pack, "" for none.
  const std::string& ImportPack() const { return import_pack_; }

 private:
  void AddEdit(CLI::App& pack, const std::function<void(CLI::App*)>& store_option);

  std::vector<CLI::App*> verbs_;
  CLI::App* packs_ = nullptr;
  CLI::App* add_ = nullptr;
  CLI::App* edit_ = nullptr;
  CLI::App* retire_ = nullptr;
  CLI::App* delete_ = nullptr;
  CLI::App* assign_ = nullptr;

  bool all_ = false;
  std::string name_;
  // Given or not: counted by their options.
  std::string new_name_, chemistry_, note_, cells_, capacity_;
  CLI::Option* new_name_option_ = nullptr;
  CLI::Option* chemistry_option_ = nullptr;
  CLI::Option* note_option_ = nullptr;
  CLI::Option* cells_option_ = nullptr;
  CLI::Option* capacity_option_ = nullptr;
  bool active_ = false;

  std::int64_t run_ = 0;
  std::string assign_pack_;
  CLI::Option* assign_pack_option_ = nullptr;
  bool none_ = false;

  std::vector<std::string> pack_choices_;
  std::vector<int> no_pack_;
  std::map<int, std::string> choices_;
  std::string import_pack_;
};

}  // namespace korvane::logger
