// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/sim/tool_options.h"

#include <charconv>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string_view>

namespace korvane::sim {
namespace {

template <typename T>
std::optional<T> ParseNumber(std::string_view text) {
  T value{};
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) {
    return std::nullopt;
  }
  return value;
}

// RATE: a whole number N strikes every Nth frame (0 = never); a number with a decimal point
// between 0 and 1 is the chance per frame.
std::optional<FaultRate> ParseRate(std::string_view text) {
  FaultRate rate;
  if (text.find('.') == std::string_view::npos) {
    const auto every = ParseNumber<std::uint32_t>(text);
    if (!every) {
      return std::nullopt;
    }
    rate.every = *every;
    return rate;
  }
  const auto probability = ParseNumber<double>(text);
  if (!probability || *probability < 0 || *probability > 1) {
    return std::nullopt;
  }
  rate.probability = *probability;
  return rate;
}

struct Flag {
  bool takes_value;
  // Returns an error text, empty on success.
  std::function<std::string(ToolOptions&, std::string_view)> apply;
};

template <typename T>
Flag Number(T min, T max, std::function<void(ToolOptions&, T)> set) {
  return Flag{true, [=](ToolOptions& o, std::string_view v) -> std::string {
                const auto n = ParseNumber<T>(v);
                if (!n || *n < min || *n > max) {
                  return "expects a number from " + std::to_string(min) + " to " +
                         std::to_string(max) + ", got '" + std::string(v) + "'";
                }
                set(o, *n);
                return {};
              }};
}

Flag Millis(std::function<std::chrono::milliseconds&(ToolOptions&)> field) {
  return Number<long long>(0, 24LL * 3600 * 1000, [field](ToolOptions& o, long long ms) {
    field(o) = std::chrono::milliseconds(ms);
  });
}

Flag Rate(std::function<FaultRate&(ToolOptions&)> field) {
  return Flag{true, [field](ToolOptions& o, std::string_view v) -> std::string {
                const auto rate = ParseRate(v);
                if (!rate) {
                  return "expects N (every Nth frame) or a chance like 0.05, got '" +
                         std::string(v) + "'";
                }
                field(o) = *rate;
                return {};
              }};
}

Flag Switch(std::function<void(ToolOptions&)> set) {
  return Flag{false, [set](ToolOptions& o, std::string_view) -> std::string {
                set(o);
                return {};
              }};
}

Flag Text(std::function<void(ToolOptions&, std::string_view)> set) {
  return Flag{true, [set](ToolOptions& o, std::string_view v) -> std::string {
                if (v.empty()) {
                  return "expects a value";
                }
                set(o, v);
                return {};
              }};
}

const std::map<std::string, Flag, std::less<>>& Flags() {
  using O = ToolOptions;
  static const std::map<std::string, Flag, std::less<>> flags{
      {"--help", Switch([](O& o) { o.help = true; })},
      {"--version", Switch([](O& o) { o.version = true; })},
      {"--device", Text([](O& o, std::string_view v) { o.device = v; })},
      {"--pty", Switch([](O& o) { o.pty = true; })},
      {"--link", Text([](O& o, std::string_view v) { o.link = v; })},
      {"--frames", Number<std::uint64_t>(1, UINT64_MAX,
                                         [](O& o, std::uint64_t n) { o.runner.max_frames = n; })},
      {"--interval-ms", Millis([](O & o) -> auto& { return o.runner.interval; })},
      {"--write-wait-ms", Millis([](O & o) -> auto& { return o.runner.write_wait; })},
      {"--drain-ms", Millis([](O & o) -> auto& { return o.drain; })},
      {"--line-rate", Switch([](O& o) { o.runner.line_bytes_per_s = 960; })},
      {"--scenario", Flag{true,
                          [](O& o, std::string_view v) -> std::string {
                            const auto kind = ScenarioFromName(v);
                            if (!kind) {
                              return "unknown scenario '" + std::string(v) +
                                     "' (charge-discharge, idle, error, sequence)";
                            }
                            o.scenario = *kind;
                            return {};
                          }}},
      {"--seed", Number<std::uint64_t>(0, UINT64_MAX,
                                       [](O& o, std::uint64_t n) {
                                         o.scenario_options.seed = n;
                                         o.runner.fault_seed = n ^ 0x9E3779B97F4A7C15ULL;
                                       })},
      {"--seconds-per-frame",
       Number<double>(0.001, 3600,
                      [](O& o, double s) { o.scenario_options.seconds_per_frame = s; })},
      {"--cells", Number<int>(1, 7, [](O& o, int n) { o.scenario_options.charge.pack.cells = n; })},
      {"--discharge-cells",
       Number<int>(1, 7, [](O& o, int n) { o.scenario_options.discharge.pack.cells = n; })},
      {"--cell-mohm", Number<double>(1, 1000,
                                     [](O& o, double mohm) {
                                       o.scenario_options.charge.pack.cell_r0_mohm = mohm;
                                       o.scenario_options.discharge.pack.cell_r0_mohm = mohm;
                                     })},
      {"--fahrenheit", Switch([](O& o) { o.scenario_options.fahrenheit = true; })},
      {"--error-code", Number<int>(0, 255,
                                   [](O& o, int n) {
                                     o.scenario_options.error_code = static_cast<std::uint8_t>(n);
                                   })},
      {"--noise", Rate([](O & o) -> auto& { return o.runner.faults.noise; })},
      {"--noise-bytes",
       Number<std::size_t>(1, kMaxNoiseBytes,
                           [](O& o, std::size_t n) { o.runner.faults.noise_max_bytes = n; })},
      {"--noise-markers", Switch([](O& o) { o.runner.faults.noise_markers = true; })},
      {"--bad-checksum", Rate([](O & o) -> auto& { return o.runner.faults.bad_checksum; })},
      {"--bad-length", Rate([](O & o) -> auto& { return o.runner.faults.bad_length; })},
      {"--split", Rate([](O & o) -> auto& { return o.runner.faults.split; })},
      {"--split-parts",
       Number<std::size_t>(2, 124, [](O& o, std::size_t n) { o.runner.faults.split_parts = n; })},
      {"--split-gap-ms", Millis([](O & o) -> auto& { return o.runner.faults.split_gap; })},
      {"--merge", Rate([](O & o) -> auto& { return o.runner.faults.merge; })},
      {"--silence", Rate([](O & o) -> auto& { return o.runner.faults.silence; })},
      {"--silence-ms", Millis([](O & o) -> auto& { return o.runner.faults.silence_time; })},
  };
  return flags;
}

}  // namespace

ToolParse ParseToolOptions(const std::vector<std::string>& args) {
  ToolParse result;
  ToolOptions& o = result.options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    std::string_view value;
    bool inline_value = false;
    if (const std::size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      inline_value = true;
    }
    const auto flag = Flags().find(arg);
    if (flag == Flags().end()) {
      result.error = "unknown option '" + std::string(arg) + "'";
      return result;
    }
    if (flag->second.takes_value && !inline_value) {
      if (i + 1 >= args.size()) {
        result.error = std::string(arg) + " expects a value";
        return result;
      }
      value = args[++i];
    } else if (!flag->second.takes_value && inline_value) {
      result.error = std::string(arg) + " takes no value";
      return result;
    }
    if (std::string error = flag->second.apply(o, value); !error.empty()) {
      result.error = std::string(arg) + " " + error;
      return result;
    }
  }
  if (o.help || o.version) {
    return result;
  }
  if (o.pty == !o.device.empty()) {
    result.error = "give exactly one of --device PATH and --pty";
  } else if (!o.link.empty() && !o.pty) {
    result.error = "--link needs --pty";
  }
  return result;
}

std::string ToolUsage() {
  return R"(Usage: korvane-charger-sim (--pty [--link PATH] | --device PATH) [options]

Plays a simulated two-channel charger: one telemetry frame per interval on a serial line.

  --help                 this text; --version: the version

Line:
  --pty                  create a pseudo-terminal; its slave path is the first line on stdout
  --link PATH            with --pty: make PATH a symlink to the slave (removed on exit)
  --device PATH          write to an existing tty (set to raw 9600 8N1)
  --interval-ms MS       pause from frame to frame (default 1000; 0 = back to back)
  --frames N             stop after N frames (default: until SIGINT/SIGTERM)
  --line-rate            pace writes at 9600 baud (useful on a pty)
  --write-wait-ms MS     how long a write waits for the reader before bytes are dropped (250)
  --drain-ms MS          with --pty and --frames: wait up to MS for the reader to take the
                         last frames before closing (default 2000)

Scenario:
  --scenario NAME        charge-discharge (default): channel 1 CC-CV charge, channel 2 discharge
                         idle: both channels not operating
                         error: channel 1 error --error-code, channel 2 NO BATT
                         sequence: idle / NO BATT first, then charge / discharge
  --seed N               makes a run reproducible (default 1)
  --seconds-per-frame S  simulated seconds per frame (default 1; larger runs faster)
  --cells N              cells of the charged pack, 1..7 (default 4)
  --discharge-cells N    cells of the discharged pack, 1..7 (default 3)
  --cell-mohm R          each cell's internal resistance in milliohms, both packs, 1..1000
                         (default 47.5; the cells are drawn within 5 % of it)
  --fahrenheit           report temperatures in Fahrenheit
  --error-code N         error scenario code for channel 1 (default 8, BATT TEMP LOW)

Faults (RATE: N = every Nth frame, 0 = never; 0.05 = a 5% chance per frame):
  --noise RATE           random bytes before the frame
  --noise-bytes N        up to N noise bytes (1..100, default 16)
  --noise-markers        noise may contain 0x0C and 0x0D
  --bad-checksum RATE    wrong checksum digits
  --bad-length RATE      one payload byte dropped or added
  --split RATE           frame written in several parts
  --split-parts N        parts of a split write (default 3)
  --split-gap-ms MS      pause between the parts (default 60)
  --merge RATE           this frame and the next in one write
  --silence RATE         a pause before the frame
  --silence-ms MS        length of the pause (default 3500)

On exit a summary (frames, valid frames, damaged frames, dropped bytes) goes to stderr.
Exit codes: 0 done, 1 line failure, 2 bad command line.
)";
}

}  // namespace korvane::sim
