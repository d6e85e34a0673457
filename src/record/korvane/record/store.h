// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "korvane/fileio/unique_fd.h"
#include "korvane/model/record.h"
#include "korvane/record/packs.h"
#include "korvane/record/run.h"

namespace korvane::record {

// Why the store cannot be used now; the recorder shows it and retries (or moves a corrupt file
// aside and starts a new store).
enum class StoreFault { kNone, kFull, kReadOnly, kLocked, kCorrupt, kOther };

class StoreError : public std::runtime_error {
 public:
  StoreError(StoreFault fault, const std::string& message)
      : std::runtime_error(message), fault_(fault) {}
  StoreFault fault() const { return fault_; }

 private:
  StoreFault fault_;
};

// How a program uses the file. kRead opens an existing file read-only: it never creates,
// migrates or changes it, so a file the user may only read (another user's, a backup, a
// read-only medium) can be listed, exported and plotted.
enum class StoreAccess { kWrite, kRead };

struct StoredFrame {
  std::int64_t id = 0;
  model::S_HARDWARE_DATA record;  // UtcMs and both channels as decoded; Time is made from UtcMs
};

// The recordings file: every decoded frame and every run with its summary, in SQLite (WAL).
// Used by one thread at a time; several processes and connections may open the same file.
// Every failure throws StoreError.
class Store {
 public:
  // The layout this program writes, kept in the file's user_version.
  static constexpr int kSchemaVersion = 4;

  // kWrite opens or creates the file (and its folder) and migrates its schema to the current
  // version; kRead opens an existing file as it is (an older layout too), and its writes throw
  // kReadOnly. A file of a newer layout, another program's database, or one whose schema holds
  // triggers or views (this program makes none) is refused untouched (kOther). Every connection
  // runs in SQLite's defensive mode and trusts no function named in the file's schema.
  // kRead reads a file whose -wal and -shm it may not write; when they are absent and cannot be
  // made (a folder it may not write), every commit is in the file, which is then read as
  // unchanging until a writer begins a -wal (the next read opens the file again). A reader that
  // may not read the file gets kOther "Cannot read <path> (<why>)".
  explicit Store(const std::string& path, StoreAccess access = StoreAccess::kWrite);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  const std::string& Path() const;
  StoreAccess Access() const;
  // A random identity given to the file when it was created (or first migrated), the same
  // whatever path names it: 32 hexadecimal digits. Empty for an older file opened kRead.
  const std::string& Identity() const;

  // Writing, in one transaction that holds the store's write lock until it ends: frames get
  // increasing ids; a run with id 0 gets one. One batch at a time, ended before the Store.
  class Batch;
  std::unique_ptr<Batch> Begin();

  // Runs left "In progress" (the program crashed or lost power) become "Interrupted". Call it
  // only while holding the recorder's lock (RecorderLockName). Returns the runs so closed.
  std::vector<RunSummary> CloseInterruptedRuns();

  // Reading. Runs by start, oldest first; `newer_than_id` keeps those of a greater id. Opened
  // kRead, a run left "In progress" reads as "Interrupted" while no recorder holds the store
  // (RecorderHolds): a crash cut it short, and the next recorder closes it so.
  std::vector<RunSummary> Runs() const;
  std::vector<RunSummary> Runs(std::int64_t newer_than_id) const;
  std::optional<RunSummary> Run(std::int64_t id) const;
  // Frames with ids first..last inclusive, in order.
  std::vector<StoredFrame> Frames(std::int64_t first, std::int64_t last) const;
  // The same with the values of one channel (1 or 2) only, the other channel's left zero: about
  // half the work, for plotting a run.
  std::vector<StoredFrame> Frames(std::int64_t first, std::int64_t last, int channel) const;
  // Frames whose UtcMs lies in from_ms..to_ms inclusive, in id order. Reads the whole table
  // (utc_ms has no index): once per import, not per frame.
  std::vector<StoredFrame> FramesBetween(std::int64_t from_ms, std::int64_t to_ms) const;
  // Counts by reading the whole table: not for every commit.
  std::int64_t FrameCount() const;
  // PRAGMA integrity_check: false when the file is damaged.
  bool IntegrityOk() const;
  // PRAGMA quick_check: "" when no damage was found, else SQLite's first finding.
  std::string QuickCheck() const;
  // Removes the run's summary; its frames stay (they hold both channels).
  void DeleteRun(std::int64_t id);

  // Packs, by name (byte order). Each change is its own transaction, so two programs changing
  // packs and assignments at once lose nothing; refusals throw PackError and change nothing.
  std::vector<Pack> Packs() const;
  std::optional<Pack> FindPack(const std::string& name) const;
  std::optional<Pack> FindPack(std::int64_t id) const;
  // Stores a new pack (PackProblem, a unique name); returns its id.
  std::int64_t AddPack(const Pack& pack);
  // Replaces the pack of id pack.id; its runs stay its runs under a new name.
  void EditPack(const Pack& pack);
  // Refused while runs belong to the pack (retire it instead); a channel's choice of it is
  // cleared.
  void DeletePack(std::int64_t id);
  // The runs then belong to the pack (0: to none). The run in progress may be assigned: the
  // recorder keeps the assignment a run has in the store. An unknown run or pack is refused
  // (PackError, naming it) and no run changes.
  void AssignRuns(const std::vector<std::int64_t>& run_ids, std::int64_t pack_id);
  // The pack chosen per channel (index 0 for channel 1; 0: none): every run that begins on the
  // channel while it is chosen belongs to it. Kept in the store, so every program on the store
  // sees one choice. A store read as it is in an older layout has no packs and no choice.
  std::array<std::int64_t, model::kChannelCount> ChosenPacks() const;
  // Refuses (PackError) a channel other than 1..kChannelCount and an unknown pack.
  void ChoosePack(int channel, std::int64_t pack_id);

  // The id of the newest frame; 0 when there is none.
  std::int64_t LastFrameId() const;
  // The highest frame id up to which the MQTT client `client_id` has every frame acknowledged
  // by its broker; nullopt when that client never published from this file.
  std::optional<std::int64_t> PublishedUpTo(const std::string& client_id) const;
  void SetPublishedUpTo(const std::string& client_id, std::int64_t frame_id);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

class Store::Batch {
 public:
  virtual ~Batch() = default;
  virtual std::int64_t AddFrame(const model::S_HARDWARE_DATA& record) = 0;
  // Inserts (id 0: assigns run.id) or replaces the run's summary under its id. A new run
  // belongs to the pack chosen for its channel now (kChosen) or to run.pack_id (kGiven, 0:
  // none); a stored run keeps the pack the store has for it (another program may have assigned
  // it meanwhile). Either way run.pack_id and run.pack_name are set to what is stored.
  enum class NewRunPack { kChosen, kGiven };
  virtual void PutRun(RunSummary& run, NewRunPack pack) = 0;
  void PutRun(RunSummary& run) { PutRun(run, NewRunPack::kGiven); }
  // Makes everything durable at once; without it, destruction rolls back. After a failed call
  // the batch refuses further writes: nothing of it is kept.
  virtual void Commit() = 0;
};

// Moves a corrupt file (and its -wal/-shm) aside as "<path>.corrupt-<UTC time>" (a numbered
// suffix if that name is taken); returns the new name. The store must be closed.
std::string MoveAside(const std::string& path);

// An exclusive flock on the file `name` beside a store (made 0644 when missing), held while the
// returned descriptor is open; the system drops it when the process ends in any way. Beside the
// store, not on it: SQLite's own locks must not share its descriptors. Throws StoreError:
// kReadOnly "Cannot write to <name> (<why>)" when the file cannot be opened, kLocked `held` when
// another open holds the lock, kOther "`held` (<why>)" when locking fails otherwise.
fileio::UniqueFd LockBesideStore(const std::string& name, const std::string& held);

// The lock file a recorder holds beside the store `path` while it records into it.
std::string RecorderLockName(const std::string& path);
// Whether a recorder (of any process) holds that lock now. Needs only read access; true also
// when the lock file exists but may not be read (it may be held).
bool RecorderHolds(const std::string& path);

// The default file: $XDG_DATA_HOME (or ~/.local/share) + "/Korvane Connect/recordings.sqlite".
// Without any home folder it throws StoreError.
std::string DefaultStorePath();

}  // namespace korvane::record
