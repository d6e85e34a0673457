// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/publish/publisher.h"

#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

#include "korvane/contract.h"
#include "korvane/publish/discovery.h"
#include "korvane/publish/messages.h"
#include "korvane/publish/run_watch.h"
#include "korvane/publish/session.h"
#include "korvane/record/store.h"

namespace korvane::publish {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kConnectTimeout{10000};
constexpr milliseconds kGoodbyeServe{50};
constexpr milliseconds kSaveInterval{1000};
constexpr milliseconds kGoodbyeWait{1000};
constexpr milliseconds kLockRetry{2000};
constexpr const char* kReplacedLine =
    "the recordings file was replaced; publishing the new one from its first frame";

std::int64_t NowUtcMs() {
  return std::chrono::duration_cast<milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

// Everything below runs on the publisher's thread only; the shared state is the Publisher's,
// under its lock.
class Publisher::Worker {
 public:
  Worker(Publisher& owner, Options options)
      : owner_(owner), options_(std::move(options)), chosen_client_id_(options_.broker.client_id) {
    address_ = options_.broker.host + ":" + std::to_string(options_.broker.port);
    retry_ = options_.first_retry;
  }

  void Run() {
    while (!Stopping()) {
      if (!HoldLock()) {
        WaitFor(kLockRetry);
        continue;
      }
      if (!store_ && !OpenStore()) {
        WaitFor(options_.first_retry);
        continue;
      }
      if (!session_) {
        if (Clock::now() < next_attempt_) {
          WaitFor(std::min<Clock::duration>(next_attempt_ - Clock::now(), options_.poll));
          continue;
        }
        Connect();
        continue;
      }
      if (Replaced()) {
        continue;
      }
      const std::string lost = session_->Serve(ServeWait());
      TakeAcks();
      if (!lost.empty()) {
        Lost(lost);
        continue;
      }
      AnswerBirth();
      Guarded([&] {
        SendFrames();
        SendRuns();
        SaveMark(false);
      });
      if (session_ && (acked_ != shown_acked_ || last_sent_ != shown_sent_)) {
        SetStatus(true, {});
      }
    }
    Finish();
  }

 private:
  bool Stopping() {
    std::lock_guard guard(owner_.mutex_);
    return owner_.stopping_;
  }

  void WaitFor(Clock::duration wait) {
    std::unique_lock guard(owner_.mutex_);
    owner_.wake_.wait_for(guard, wait, [&] { return owner_.stopping_; });
  }

  void Line(const std::string& text) {
    if (options_.on_line) {
      options_.on_line("mqtt: " + text);
    }
  }

  void SetStatus(bool connected, const std::string& problem) {
    std::lock_guard guard(owner_.mutex_);
    owner_.status_.connected = connected;
    owner_.status_.problem = problem;
    problem_ = problem;
    owner_.status_.acked_seq = acked_;
    owner_.status_.frames_sent = sent_count_;
    owner_.status_.failed_attempts = failed_attempts_;
    owner_.status_.client_id = options_.broker.client_id;
    owner_.status_.sent_seq = last_sent_;
    owner_.status_.retry_delay = connected ? retry_ : retry_delay_;
    shown_acked_ = acked_;
    shown_sent_ = last_sent_;
  }

  // A store that cannot be read now (locked, moved aside) is opened again later.
  template <typename Action>
  void Guarded(Action&& action) {
    try {
      action();
    } catch (const record::StoreError& error) {
      Report(std::string("cannot use the recordings: ") + error.what());
      store_.reset();
    }
  }

  // One publisher per file: two would share its client id and push each other off the broker.
  bool HoldLock() {
    if (mutex_.Valid()) {
      return true;
    }
    try {
      mutex_ = record::LockBesideStore(options_.store_path + ".publish.lock",
                                       "another program publishes " + options_.store_path);
      return true;
    } catch (const record::StoreError& error) {
      Report(std::string(error.what()) + "; waiting");
      SetStatus(false, error.what());
      return false;
    }
  }

  // The file at the path now: its device and inode, or {0, 0} when there is none.
  std::pair<dev_t, ino_t> FileAtPath() const {
    struct stat info {};
    if (::stat(options_.store_path.c_str(), &info) != 0) {
      return {0, 0};
    }
    return {info.st_dev, info.st_ino};
  }

  bool OpenStore() {
    Guarded([&] {
      const auto file = FileAtPath();
      auto store = std::make_unique<record::Store>(options_.store_path);
      if (!identity_.empty() && store->Identity() != identity_) {
        replaced_ = true;  // swapped between two looks at the path
        Report(kReplacedLine);
      }
      identity_ = store->Identity();
      TakeClientId();
      if (replaced_) {
        // A new file: every frame in it is new to the broker, and its ids begin anew.
        acked_ = LoadMark(*store).value_or(0);
        last_sent_ = acked_;
        in_flight_.clear();
        unacked_.clear();
        runs_.Forget();
        runs_hold_ = 0;
        replaced_ = false;
      } else if (!session_) {
        // A client new to this file starts with the frames recorded from now on. Reopened
        // during a connection, the marks in memory are the newer ones.
        acked_ = LoadMark(*store).value_or(store->LastFrameId());
        last_sent_ = acked_;
      }
      file_at_path_ = file.second != 0 ? file : FileAtPath();
      store_ = std::move(store);
    });
    SetStatus(session_ != nullptr, session_ ? std::string() : problem_);
    return store_ != nullptr;
  }

  // The file's own client id unless one was chosen. The broker keeps a session per client id:
  // a new file's is another, so the connection of the old one ends.
  void TakeClientId() {
    std::string client_id = chosen_client_id_;
    if (client_id.empty()) {
      client_id = identity_.empty() ? PathClientId(options_.store_path) : ClientIdFor(identity_);
    }
    if (session_ && client_id != options_.broker.client_id) {
      session_->Disconnect();
      session_.reset();
      next_attempt_ = Clock::now();
    }
    options_.broker.client_id = client_id;
  }

  // The client's mark in `store`. A file older than identities keeps it under the path's client
  // id: taken over once, so that an upgrade resends nothing and loses nothing.
  std::optional<std::int64_t> LoadMark(record::Store& store) {
    std::optional<std::int64_t> mark = store.PublishedUpTo(options_.broker.client_id);
    saved_ = mark.value_or(-1);  // none: SaveMark writes one
    const std::string old_id = PathClientId(options_.store_path);
    if (mark || !chosen_client_id_.empty() || old_id == options_.broker.client_id) {
      return mark;
    }
    mark = store.PublishedUpTo(old_id);
    if (mark) {
      saved_ = -1;  // SaveMark writes it under the new id if the store is busy now
      try {
        store.SetPublishedUpTo(options_.broker.client_id, *mark);
        saved_ = *mark;
      } catch (const record::StoreError& error) {
        if (error.fault() != record::StoreFault::kLocked) {
          throw;
        }
      }
    }
    return mark;
  }

  // A damaged file is moved aside by the recorder, which goes on in a new one at the same path:
  // the publisher follows, at most one poll interval late. True when the file was let go.
  bool Replaced() {
    if (Clock::now() < next_identity_check_) {
      return false;
    }
    next_identity_check_ = Clock::now() + options_.poll;
    const auto identity = FileAtPath();
    if (identity.second == 0 || identity == file_at_path_) {
      return false;  // none yet: the recorder is about to make it
    }
    store_.reset();  // its mark is not saved: the file is damaged, and nobody publishes it again
    replaced_ = true;
    Report(kReplacedLine);
    return true;
  }

  void Report(const std::string& cause) {
    if (cause != reported_) {
      reported_ = cause;
      Line(cause);
    }
  }

  void Connect() {
    auto session = std::make_unique<Session>(options_.broker, options_.in_flight);
    const std::string cause = session->Connect(kConnectTimeout, [this] { return Stopping(); });
    if (!cause.empty() && Stopping()) {
      return;
    }
    if (!cause.empty()) {
      Report("cannot connect to " + address_ + ": " + cause + "; retrying");
      ++failed_attempts_;
      Backoff();
      SetStatus(false, cause);
      return;
    }
    session_ = std::move(session);
    failed_attempts_ = 0;
    retry_ = options_.first_retry;
    reported_.clear();
    Line("connected to " + address_ + ", publishing to " + options_.broker.topic_prefix +
         "/# from frame " + std::to_string(acked_ + 1));
    session_->Publish(options_.broker.topic_prefix + "/status", "online", true);
    Announce();
    runs_.ResendAll();
    last_sent_ = acked_;
    next_poll_ = Clock::now();
    SetStatus(true, {});
  }

  // Home Assistant's discovery, when asked for: on each connection, and again each time Home
  // Assistant starts. Its retained "online" comes with the subscription, just after Announce.
  void Announce() {
    if (!options_.broker.discovery_prefix.empty()) {
      session_->Subscribe(BirthTopic(options_.broker));
      for (const DiscoveryMessage& message : discovery_) {
        session_->Publish(message.topic, message.payload, true);
      }
    }
  }

  void AnswerBirth() {
    for (const Session::Message& message : session_->TakeMessages()) {
      if (!message.retained && IsBirth(options_.broker, message.topic, message.payload)) {
        Announce();
      }
    }
  }

  void Lost(const std::string& cause) {
    session_.reset();
    in_flight_.clear();
    unacked_.clear();
    last_sent_ = acked_;
    Report("connection to " + address_ + " lost (" + cause + "); retrying");
    Backoff();
    SetStatus(false, cause);
  }

  // Each wait twice the last, up to max_retry, until a connection succeeds.
  void Backoff() {
    retry_delay_ = retry_;
    next_attempt_ = Clock::now() + retry_;
    retry_ = std::min(retry_ * 2, options_.max_retry);
  }

  // Waits for the broker until the next read of the store is due; with the window full, the
  // acknowledgements end the wait.
  milliseconds ServeWait() const {
    if (unacked_.size() >= static_cast<std::size_t>(options_.in_flight)) {
      return options_.poll;
    }
    const auto until_poll = std::chrono::ceil<milliseconds>(next_poll_ - Clock::now());
    return std::clamp(until_poll, milliseconds(0), options_.poll);
  }

  // Advances the mark over the frames acknowledged; true when `watched` was among them.
  bool TakeAcks(int watched = -1) {
    bool seen = false;
    for (const int mid : session_ ? session_->TakeAcknowledged() : std::vector<int>()) {
      seen = seen || mid == watched;
      const auto found = in_flight_.find(mid);
      if (found != in_flight_.end()) {
        unacked_.erase(found->second);
        in_flight_.erase(found);
      }
    }
    acked_ = unacked_.empty() ? last_sent_ : *unacked_.begin() - 1;
    return seen;
  }

  // While behind, reads again at once; when caught up, once per poll interval.
  void SendFrames() {
    const auto room =
        static_cast<std::int64_t>(options_.in_flight) - static_cast<std::int64_t>(unacked_.size());
    if (room <= 0 || Clock::now() < next_poll_) {
      return;
    }
    // Read first: every id up to it is in the file by then, so frames missing below it are a
    // gap in the ids, not frames committed between the two reads.
    const std::int64_t last_id = store_->LastFrameId();
    const std::vector<record::StoredFrame> frames =
        store_->Frames(last_sent_ + 1, last_sent_ + room);
    // The runs read after the frames hold them all: each frame goes out with its runs' packs.
    if (!frames.empty() && frames.back().id > runs_hold_) {
      runs_.Read(*store_);
      runs_hold_ = frames.back().id;
      runs_read_ = true;
    }
    for (const record::StoredFrame& frame : frames) {
      const ChannelPacks packs = {runs_.PackAt(1, frame.id), runs_.PackAt(2, frame.id)};
      const int mid =
          session_->Publish(telemetry_topic_, TelemetryJson(frame, identity_, packs), false);
      if (mid < 0) {
        return;  // the next Serve reports the lost connection
      }
      in_flight_[mid] = frame.id;
      unacked_.insert(frame.id);
      last_sent_ = frame.id;
      ++sent_count_;
    }
    if (frames.empty() && last_id > last_sent_ + room) {
      last_sent_ += room;  // ids missing from the file: nothing to send for them
      TakeAcks();
      return;
    }
    if (frames.empty()) {
      next_poll_ = Clock::now() + options_.poll;
    }
  }

  void SendRuns() {
    if (Clock::now() < next_runs_) {
      return;
    }
    next_runs_ = Clock::now() + options_.poll;
    const std::int64_t now = NowUtcMs();
    if (!runs_read_) {
      runs_.Read(*store_);
    }
    runs_read_ = false;
    for (const record::RunSummary& run : runs_.Due(now)) {
      if (session_->Publish(options_.broker.topic_prefix + "/run/" + std::to_string(run.channel),
                            RunJson(run, identity_), true) < 0) {
        runs_.ResendAll();
        return;
      }
      runs_.Sent(run, now);
    }
  }

  void SaveMark(bool now) {
    if (acked_ == saved_ || (!now && Clock::now() < next_save_)) {
      return;
    }
    next_save_ = Clock::now() + kSaveInterval;
    try {
      store_->SetPublishedUpTo(options_.broker.client_id, acked_);
    } catch (const record::StoreError& error) {
      // Busy with the recorder's commit: the next interval writes the mark; losing it costs
      // only resent frames.
      if (error.fault() != record::StoreFault::kLocked) {
        throw;
      }
      return;
    }
    saved_ = acked_;
    SetStatus(session_ != nullptr, {});
  }

  void Finish() {
    if (session_ && store_) {
      // What the recorder wrote last (runs ended "Interrupted") goes out before the goodbye.
      next_poll_ = next_runs_ = Clock::now();
      Guarded([&] {
        SendFrames();
        SendRuns();
      });
    }
    if (session_) {
      const int goodbye =
          session_->Publish(options_.broker.topic_prefix + "/status", "offline", true);
      const auto deadline = Clock::now() + kGoodbyeWait;
      bool said = goodbye < 0;
      while (Clock::now() < deadline && (!unacked_.empty() || !said)) {
        if (!session_->Serve(kGoodbyeServe).empty()) {
          break;
        }
        said = TakeAcks(goodbye) || said;
      }
      session_->Disconnect();
      session_.reset();
    }
    if (store_) {
      Guarded([&] { SaveMark(true); });
    }
    SetStatus(false, {});
  }

  Publisher& owner_;
  Options options_;
  std::string address_;
  const std::string telemetry_topic_ = options_.broker.topic_prefix + "/telemetry";
  const std::vector<DiscoveryMessage> discovery_ = DiscoveryMessages(options_.broker);
  std::unique_ptr<record::Store> store_;
  std::unique_ptr<Session> session_;
  RunWatch runs_{options_.run_refresh};
  std::int64_t runs_hold_ = 0;  // runs_ was read after the frames up to this id were
  bool runs_read_ = false;      // ... since SendRuns last looked
  std::unordered_map<int, std::int64_t> in_flight_;  // message id -> frame id
  std::set<std::int64_t> unacked_;                   // frame ids sent, not yet acknowledged
  std::int64_t acked_ = 0;
  const std::string chosen_client_id_;  // "" unless given in the options
  std::string identity_;                // of the file opened last
  std::pair<dev_t, ino_t> file_at_path_{0, 0};
  fileio::UniqueFd mutex_;
  bool replaced_ = false;
  Clock::time_point next_identity_check_{};
  std::int64_t saved_ = 0;
  std::int64_t last_sent_ = 0;
  std::int64_t sent_count_ = 0;
  int failed_attempts_ = 0;
  milliseconds retry_{1000};     // the wait after the next failure
  milliseconds retry_delay_{0};  // the wait under way
  std::int64_t shown_acked_ = 0;
  std::int64_t shown_sent_ = 0;
  Clock::time_point next_attempt_{};
  Clock::time_point next_poll_{};
  Clock::time_point next_runs_{};
  Clock::time_point next_save_{};
  std::string reported_;
  std::string problem_;
};

Publisher::Publisher(Options options)
    : worker_(std::make_unique<Worker>(*this, std::move(options))),
      thread_([this] { worker_->Run(); }) {}

Publisher::~Publisher() {
  Stop();
}

void Publisher::Stop() {
  // The publisher's thread would wait for itself.
  KORVANE_EXPECT(std::this_thread::get_id() != thread_.get_id(),
                 "on_line must not call the publisher's Stop");
  {
    std::lock_guard guard(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) {
    thread_.join();
  }
}

PublisherStatus Publisher::Status() const {
  std::lock_guard guard(mutex_);
  return status_;
}

}  // namespace korvane::publish
