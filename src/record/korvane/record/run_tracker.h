// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "korvane/model/record.h"
#include "korvane/record/health.h"
#include "korvane/record/run.h"

namespace korvane::record {

// Groups the frames of each channel into runs and keeps their summaries. Not thread-safe: one
// writer feeds it (the recorder and the import alike, so a file imported gets the runs a live
// recording would have got).
//
// A run begins with a charge or discharge frame when its channel has no run open. It ends:
// - "Finished: ..." or "Error: ..." at a finished or error frame, which belongs to it;
// - "Stopped" when the channel reports "not operating" (mode 0) for 10 s: counted from its first
//   such frame, by the next frame's time or by ExpireSilent's clock;
// - "Interrupted" at a frame that begins another run: a switch between charge and discharge
//   without a delay between (a delay is the charger's cycle program going on), or, in the same
//   mode with no delay since the last drive frame, a capacity counter that starts again (below
//   half the last drive frame's counter and at least 10 mAh below it) or another number of cells
//   in use (non-zero cell voltages) than at the last drive frame;
// - "Interrupted" after more than 60 s without a frame, or when the recording stops.
// Frames of other modes (delay, pause, store, unknown) stay in the run. "Not operating" frames
// are held back: followed within 10 s by a frame that continues the run they belong to it as if
// never held; otherwise the run ends at its last frame before them (its end time, duration,
// frames, last frame and energy stop there) and they belong to no run. Whatever ends a run while
// such frames are held (10 s of them, another run beginning, silence, the recording stopping)
// ends it "Stopped": the channel's last word was that it no longer operates.
//
// A run's health figures come from every frame of its channel, in or out of a run: its internal
// resistance from the rest-to-load steps (the rest before its first frame counts), its charged
// and discharged capacity from its last charge and last discharge frame.
class RunTracker {
 public:
  static constexpr std::int64_t kSilenceEndMs = 60'000;
  static constexpr std::int64_t kIdleEndMs = 10'000;
  static constexpr std::int64_t kEnergyGapMs = 5'000;
  // A counter that starts again: below half of the run's and at least this much below it.
  static constexpr int kCapacityRestartMah = 10;

  // Feeds one frame with its store id; the record's UtcMs is its instant. Returns the runs whose
  // summaries changed: first those that ended, then those begun or updated, each at most once.
  std::vector<RunSummary> Add(std::int64_t frame_id, const model::S_HARDWARE_DATA& record);
  // Ends the runs that the rules above end by `now_ms` without a further frame. Returns them.
  std::vector<RunSummary> ExpireSilent(std::int64_t now_ms);
  // Recording stops: every open run ends ("Interrupted", or "Stopped" as above). Returns them.
  std::vector<RunSummary> StopAll();

  // The run in progress on channel index k (0 or 1), if any, as of its last frame not held back.
  std::optional<RunSummary> Open(int channel_index) const;
  // The store assigns ids when it first writes a run; the tracker keeps the id of the channel's
  // open run for its later updates. Call it for open runs only: once a run has ended, the open
  // run of its channel is another one.
  void SetId(int channel_index, std::int64_t id);

 private:
  // An open run's summary with what its later frames need.
  struct OpenRun {
    RunSummary run;
    // The run's last frame, for the silence rule and the energy integral.
    std::int64_t last_ms = 0;
    std::uint64_t last_power_uw = 0;
    // Sum over bridged intervals of (power before + power after) x interval, in uW x ms.
    double twice_energy_uw_ms = 0.0;
    // At the run's last charge or discharge frame, for the rules of a new beginning.
    std::uint16_t drive_mah = 0;
    int drive_cells = 0;
  };

  struct Channel {
    std::optional<OpenRun> open;
    // The open run as it would be with the "not operating" frames held back since its last
    // other frame; set while any are held.
    std::optional<OpenRun> idle;
    std::int64_t idle_since_ms = 0;
    // Same rule as the decoder's run marks, kept whether or not a run is open.
    std::uint8_t last_charge_mode = 0;
    // A delay frame came after the run's last charge or discharge frame (cycle program).
    bool delay_since_drive = false;
    ResistanceEstimator resistance;
  };

  static bool BeginsAnew(const Channel& ch, bool new_run_mark, const model::S_CHANNEL_DATA& data);
  static void Begin(Channel& ch, int channel_index, std::int64_t frame_id, std::int64_t utc_ms,
                    const model::S_CHANNEL_DATA& data);
  static void Update(OpenRun& open, std::int64_t frame_id, std::int64_t utc_ms,
                     const model::S_CHANNEL_DATA& data);
  // Ends the open run as of its last frame not held back; "Stopped" when frames are held.
  static RunSummary End(Channel& ch);
  static RunSummary End(Channel& ch, EndState state, std::string text);

  std::array<Channel, model::kChannelCount> channels_{};
};

}  // namespace korvane::record
