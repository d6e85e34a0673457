#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "korvane/model/record.h"
#include "korvane/record/run.h"

namespace korvane::record {

// Groups the frames of each channel into runs and keeps their summaries. A run begins with a
// charge or discharge frame at a new-run mark or after the channel's previous run ended; it ends
// at a finished or error frame, at the channel's next new-run mark (unless the charger's cycle
// program switches between charge and discharge through a delay), after 60 s without a frame, or
// when recording stops. Not thread-safe: one writer feeds it.
class RunTracker {
 public:
  static constexpr std::int64_t kSilenceEndMs = 60'000;
  static constexpr std::int64_t kEnergyGapMs = 5'000;

  // Feeds one frame with its store id; the record's UtcMs is its instant. Returns the runs whose
  // summaries changed: first those that ended, then those begun or updated, each at most once.
  std::vector<RunSummary> Add(std::int64_t frame_id, const model::S_HARDWARE_DATA& record);
  // Ends runs whose last frame is more than 60 s before `now_ms` (no frame arrived). Returns them.
  std::vector<RunSummary> ExpireSilent(std::int64_t now_ms);
  // Recording stops: every open run ends "Interrupted". Returns them.
  std::vector<RunSummary> StopAll();

  // The run in progress on channel index k (0 or 1), if any.
  const std::optional<RunSummary>& Open(int channel_index) const;
  // The store assigns ids when it first writes a run; the tracker keeps the id of the channel's
  // open run for its later updates. Call it for open runs only: once a run has ended, the open
  // run of its channel is another one.
  void SetId(int channel_index, std::int64_t id);

 private:
  struct Channel {
    std::optional<RunSummary> run;
    // Same rule as the decoder's run marks, kept whether or not a run is open.
    std::uint8_t last_charge_mode = 0;
    // A delay frame came after the run's last charge or discharge frame (cycle program).
    bool delay_since_drive = false;
    // The run's last frame, for the silence rule and the energy integral.
    std::int64_t last_ms = 0;
    std::uint64_t last_power_uw = 0;
    // Sum over bridged intervals of (power before + power after) x interval, in uW x ms.
    double twice_energy_uw_ms = 0.0;
  };

  static void Begin(Channel& ch, int channel_index, std::int64_t frame_id, std::int64_t utc_ms,
                    const model::S_CHANNEL_DATA& data);
  static void Update(Channel& ch, std::int64_t frame_id, std::int64_t utc_ms,
                     const model::S_CHANNEL_DATA& data);
  static RunSummary End(Channel& ch, EndState state, std::string text);

  std::array<Channel, model::kChannelCount> channels_{};
};

}  // namespace korvane::record
