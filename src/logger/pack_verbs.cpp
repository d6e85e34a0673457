// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/logger/pack_verbs.h"

#include <charconv>
#include <limits>
#include <optional>

#include "korvane/logger/pack_commands.h"

namespace korvane::logger {
namespace {

// Digits only, no sign, no space, no fraction: "12abc", "-3" and "1e3" are not whole numbers.
std::optional<std::int64_t> WholeNumber(const std::string& text, std::int64_t max) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || text[0] == '-' || text[0] == '+' || error != std::errc() || at != end ||
      value > max) {
    return std::nullopt;
  }
  return value;
}

CLI::Validator Whole(const std::string& what) {
  return CLI::Validator(
      [what](std::string& text) {
        return WholeNumber(text, std::numeric_limits<int>::max())
                   ? std::string()
                   : "\"" + text + "\" is not " + what + " (a whole number)";
      },
      "");
}

int WholeInt(const std::string& text) {
  return static_cast<int>(WholeNumber(text, std::numeric_limits<int>::max()).value_or(0));
}

const CLI::Validator kRunNumber(
    [](std::string& text) {
      const std::optional<std::int64_t> id =
          WholeNumber(text, std::numeric_limits<std::int64_t>::max());
      return id && *id > 0
                 ? std::string()
                 : "\"" + text + "\" is not a run id (a whole number from 1 up, as runs lists it)";
    },
    "ID");

// CHANNEL=NAME; an empty name clears the channel's choice.
const CLI::Validator kChoice(
    [](std::string& text) {
      return text.starts_with("1=") || text.starts_with("2=")
                 ? std::string()
                 : "\"" + text + "\" is not CHANNEL=PACK (channel 1 or 2, e.g. 1=\"Blue 4S\")";
    },
    "");

}  // namespace

const std::vector<std::string>& PackVerbs::Names() {
  static const std::vector<std::string> names = {"packs", "pack", "assign"};
  return names;
}

PackVerbs::PackVerbs(CLI::App& app, CLI::App& record, CLI::App& importer,
                     const std::function<void(CLI::App*)>& store_option) {
  packs_ = app.add_subcommand("packs", "List the packs with their figures, by name");
  store_option(packs_);
  packs_->add_flag("--all", all_, "Also list the retired packs");

  CLI::App* pack = app.add_subcommand("pack", "Add, change, retire or delete a pack");
  pack->require_subcommand(1);
  add_ = pack->add_subcommand("add", "Add a pack (creates the store when there is none)");
  add_->add_option("NAME", name_, "The pack's name, unique in the store")->required();
  add_->add_option("--chemistry", chemistry_, "LiPo, LiHV, Li-ion, LiFePO4, NiMH, NiCd, Pb, ...")
      ->required()
      ->type_name("C");
  add_->add_option("--cells", cells_, "Cells in series")
      ->required()
      ->check(Whole("a number of cells"))
      ->type_name("N");
  add_->add_option("--capacity", capacity_, "Rated capacity")
      ->required()
      ->check(Whole("a capacity in mAh"))
      ->type_name("MAH");
  add_->add_option("--note", note_, "A note")->type_name("TEXT");
  store_option(add_);
  AddEdit(*pack, store_option);
  retire_ = pack->add_subcommand("retire", "Retire a pack: kept with its runs, listed by --all");
  delete_ = pack->add_subcommand("delete", "Delete a pack that has no runs (else retire it)");
  for (CLI::App* verb : {retire_, delete_}) {
    verb->add_option("NAME", name_, "The pack's name")->required();
    store_option(verb);
  }

  assign_ = app.add_subcommand("assign", "Give a run to a pack, or to none");
  assign_->add_option("RUN", run_, "The run's id, as runs lists it")->required()->check(kRunNumber);
  assign_pack_option_ = assign_->add_option("PACK", assign_pack_, "The pack's name");
  assign_->add_flag("--none", none_, "The run belongs to no pack")->excludes(assign_pack_option_);
  store_option(assign_);
  assign_->callback([this] {
    if (!none_ && assign_pack_option_->count() == 0) {
      throw CLI::ValidationError("PACK", "a pack's name, or --none, is required");
    }
  });

  record
      .add_option("--pack", pack_choices_,
                  "The pack of the runs that begin on channel C from now on (kept in the store)")
      ->check(kChoice)
      ->type_name("C=PACK");
  record.add_option("--no-pack", no_pack_, "The runs that begin on channel C belong to no pack")
      ->check(CLI::Range(1, 2).description(""))
      ->type_name("C");
  record.callback([this] {
    for (const std::string& choice : pack_choices_) {
      const int channel = choice[0] - '0';
      if (!choices_.emplace(channel, choice.substr(2)).second) {
        throw CLI::ValidationError("--pack",
                                   "channel " + std::to_string(channel) + " is given twice");
      }
    }
    for (const int channel : no_pack_) {
      if (!choices_.emplace(channel, std::string()).second) {
        throw CLI::ValidationError("--no-pack",
                                   "channel " + std::to_string(channel) + " is given twice");
      }
    }
  });
  importer.add_option("--pack", import_pack_, "The imported runs belong to this pack")
      ->type_name("PACK");

  verbs_ = {packs_, pack, add_, edit_, retire_, delete_, assign_};
}

void PackVerbs::AddEdit(CLI::App& pack, const std::function<void(CLI::App*)>& store_option) {
  edit_ = pack.add_subcommand("edit", "Change a pack; its runs stay its runs");
  edit_->add_option("NAME", name_, "The pack's name")->required();
  CLI::Option_group* changes = edit_->add_option_group("changes", "What to change (one or more)");
  new_name_option_ = changes->add_option("--name", new_name_, "A new name")->type_name("NEW");
  chemistry_option_ = changes->add_option("--chemistry", chemistry_, "Chemistry")->type_name("C");
  cells_option_ = changes->add_option("--cells", cells_, "Cells in series")
                      ->check(Whole("a number of cells"))
                      ->type_name("N");
  capacity_option_ = changes->add_option("--capacity", capacity_, "Rated capacity")
                         ->check(Whole("a capacity in mAh"))
                         ->type_name("MAH");
  note_option_ = changes->add_option("--note", note_, "A note")->type_name("TEXT");
  changes->add_flag("--active", active_, "Put a retired pack back in use");
  changes->require_option();
  store_option(edit_);
}

bool PackVerbs::Run(const std::string& store_path, std::ostream& out) const {
  if (packs_->parsed()) {
    ListPacks(store_path, all_, out);
  } else if (add_->parsed()) {
    record::Pack pack;
    pack.name = name_;
    pack.chemistry = chemistry_;
    pack.cells = WholeInt(cells_);
    pack.rated_mah = WholeInt(capacity_);
    pack.note = note_;
    AddPack(store_path, pack, out);
  } else if (edit_->parsed()) {
    PackChanges changes;
    const auto given = [](CLI::Option* option, const std::string& value) {
      return option->count() > 0 ? std::optional<std::string>(value) : std::nullopt;
    };
    changes.name = given(new_name_option_, new_name_);
    changes.chemistry = given(chemistry_option_, chemistry_);
    changes.note = given(note_option_, note_);
    if (cells_option_->count() > 0) {
      changes.cells = WholeInt(cells_);
    }
    if (capacity_option_->count() > 0) {
      changes.rated_mah = WholeInt(capacity_);
    }
    if (active_) {
      changes.retired = false;
    }
    EditPack(store_path, name_, changes, out);
  } else if (retire_->parsed()) {
    PackChanges retire;
    retire.retired = true;
    EditPack(store_path, name_, retire, out);
  } else if (delete_->parsed()) {
    DeletePack(store_path, name_, out);
  } else if (assign_->parsed()) {
    AssignRun(store_path, run_, none_ ? std::nullopt : std::optional<std::string>(assign_pack_),
              out);
  } else {
    return false;
  }
  return true;
}

}  // namespace korvane::logger
