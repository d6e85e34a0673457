// SPDX-License-Identifier: GPL-3.0-or-later
// The Store's packs and the assignment of runs to them.
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <array>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "korvane/record/store.h"
#include "store_connection.h"

namespace korvane::record {
namespace {

// The first layout with packs: an older file read as it is has none.
constexpr int kPacksVersion = 4;

constexpr const char* kSelectPacks =
    "SELECT id, name, chemistry, cells, rated_mah, note, retired FROM packs";

Pack ReadPack(const SQLite::Statement& row) {
  Pack pack;
  pack.id = row.getColumn(0).getInt64();
  pack.name = row.getColumn(1).getString();
  pack.chemistry = row.getColumn(2).getString();
  pack.cells = row.getColumn(3).getInt();
  pack.rated_mah = row.getColumn(4).getInt();
  pack.note = row.getColumn(5).getString();
  pack.retired = row.getColumn(6).getInt() != 0;
  return pack;
}

// The pack of `key` (an id or a name) as the transaction sees it.
template <typename Key>
std::optional<Pack> SelectPack(SQLite::Database& db, const char* where, const Key& key) {
  SQLite::Statement select(db, std::string(kSelectPacks) + " WHERE " + where + " = ?1");
  select.bind(1, key);
  return select.executeStep() ? std::optional<Pack>(ReadPack(select)) : std::nullopt;
}

Pack ExistingPack(SQLite::Database& db, std::int64_t id) {
  std::optional<Pack> pack = SelectPack(db, "id", id);
  if (!pack) {
    throw PackError("There is no pack with id " + std::to_string(id));
  }
  return *pack;
}

void RequireValid(const Pack& pack) {
  if (const std::string problem = PackProblem(pack); !problem.empty()) {
    throw PackError(problem);
  }
}

// Refuses a name another pack than `own_id` has.
void RequireFreeName(SQLite::Database& db, const std::string& name, std::int64_t own_id) {
  const std::optional<Pack> holder = SelectPack(db, "name", name);
  if (holder && holder->id != own_id) {
    throw PackError("A pack named \"" + name + "\" already exists");
  }
}

void BindPack(SQLite::Statement& statement, const Pack& pack) {
  statement.bind(1, pack.name);
  statement.bind(2, pack.chemistry);
  statement.bind(3, pack.cells);
  statement.bind(4, pack.rated_mah);
  statement.bind(5, pack.note);
  statement.bind(6, pack.retired ? 1 : 0);
}

// Runs `change` in its own IMMEDIATE transaction: a refusal (PackError) or a failure changes
// nothing, and a check inside it holds until the commit.
template <typename Change>
auto InOwnTransaction(detail::Connection& store, Change&& change) {
  store.RequireWrite();
  return store.Guard([&] {
    SQLite::Transaction transaction(store.db, SQLite::TransactionBehavior::IMMEDIATE);
    if constexpr (std::is_void_v<decltype(change())>) {
      change();
      transaction.commit();
    } else {
      auto result = change();
      transaction.commit();
      return result;
    }
  });
}

}  // namespace

std::vector<Pack> Store::Packs() const {
  return impl_->Read([&] {
    std::vector<Pack> packs;
    if (impl_->version < kPacksVersion) {
      return packs;
    }
    SQLite::Statement select(impl_->db, std::string(kSelectPacks) + " ORDER BY name");
    while (select.executeStep()) {
      packs.push_back(ReadPack(select));
    }
    return packs;
  });
}

std::optional<Pack> Store::FindPack(const std::string& name) const {
  return impl_->Read([&]() -> std::optional<Pack> {
    if (impl_->version < kPacksVersion) {
      return std::nullopt;
    }
    return SelectPack(impl_->db, "name", name);
  });
}

std::optional<Pack> Store::FindPack(std::int64_t id) const {
  return impl_->Read([&]() -> std::optional<Pack> {
    if (impl_->version < kPacksVersion) {
      return std::nullopt;
    }
    return SelectPack(impl_->db, "id", id);
  });
}

std::int64_t Store::AddPack(const Pack& pack) {
  RequireValid(pack);
  return InOwnTransaction(*impl_, [&] {
    RequireFreeName(impl_->db, pack.name, 0);
    SQLite::Statement insert(impl_->db,
                             "INSERT INTO packs (name, chemistry, cells, rated_mah, note, retired) "
                             "VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    BindPack(insert, pack);
    insert.exec();
    return impl_->db.getLastInsertRowid();
  });
}

void Store::EditPack(const Pack& pack) {
  RequireValid(pack);
  InOwnTransaction(*impl_, [&] {
    ExistingPack(impl_->db, pack.id);
    RequireFreeName(impl_->db, pack.name, pack.id);
    SQLite::Statement update(impl_->db,
                             "UPDATE packs SET name = ?1, chemistry = ?2, cells = ?3, "
                             "rated_mah = ?4, note = ?5, retired = ?6 WHERE id = ?7");
    BindPack(update, pack);
    update.bind(7, pack.id);
    update.exec();
  });
}

void Store::DeletePack(std::int64_t id) {
  InOwnTransaction(*impl_, [&] {
    const Pack pack = ExistingPack(impl_->db, id);
    SQLite::Statement count(impl_->db, "SELECT count(*) FROM runs WHERE pack_id = ?1");
    count.bind(1, id);
    count.executeStep();
    if (const std::int64_t runs = count.getColumn(0).getInt64(); runs > 0) {
      throw PackError("Pack \"" + pack.name + "\" has " + std::to_string(runs) +
                      (runs == 1 ? " run" : " runs") + ": retire it instead");
    }
    for (const char* sql :
         {"DELETE FROM chosen_packs WHERE pack_id = ?1", "DELETE FROM packs WHERE id = ?1"}) {
      SQLite::Statement remove(impl_->db, sql);
      remove.bind(1, id);
      remove.exec();
    }
  });
}

void Store::AssignRuns(const std::vector<std::int64_t>& run_ids, std::int64_t pack_id) {
  InOwnTransaction(*impl_, [&] {
    if (pack_id != 0) {
      ExistingPack(impl_->db, pack_id);
    }
    SQLite::Statement assign(impl_->db, "UPDATE runs SET pack_id = nullif(?1, 0) WHERE id = ?2");
    for (const std::int64_t run_id : run_ids) {
      assign.reset();
      assign.bind(1, pack_id);
      assign.bind(2, run_id);
      if (assign.exec() == 0) {
        throw PackError("There is no run " + std::to_string(run_id));
      }
    }
  });
}

std::array<std::int64_t, model::kChannelCount> Store::ChosenPacks() const {
  return impl_->Read([&] {
    std::array<std::int64_t, model::kChannelCount> chosen{};
    if (impl_->version < kPacksVersion) {
      return chosen;
    }
    SQLite::Statement select(impl_->db, "SELECT channel, pack_id FROM chosen_packs");
    while (select.executeStep()) {
      const int channel = select.getColumn(0).getInt();
      if (channel >= 1 && channel <= model::kChannelCount) {
        chosen[static_cast<std::size_t>(channel - 1)] = select.getColumn(1).getInt64();
      }
    }
    return chosen;
  });
}

void Store::ChoosePack(int channel, std::int64_t pack_id) {
  if (channel < 1 || channel > model::kChannelCount) {
    throw PackError("There is no channel " + std::to_string(channel));
  }
  InOwnTransaction(*impl_, [&] {
    if (pack_id == 0) {
      SQLite::Statement clear(impl_->db, "DELETE FROM chosen_packs WHERE channel = ?1");
      clear.bind(1, channel);
      clear.exec();
      return;
    }
    ExistingPack(impl_->db, pack_id);
    SQLite::Statement choose(impl_->db,
                             "INSERT INTO chosen_packs (channel, pack_id) VALUES (?1, ?2) "
                             "ON CONFLICT (channel) DO UPDATE SET pack_id = excluded.pack_id");
    choose.bind(1, channel);
    choose.bind(2, pack_id);
    choose.exec();
  });
}

}  // namespace korvane::record
