// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/record/packs.h"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <unordered_map>

namespace korvane::record {
namespace {

// The code points of `text`; nullopt when it is not valid UTF-8 (overlong forms, surrogates
// and values above U+10FFFF included).
std::optional<std::vector<char32_t>> CodePoints(std::string_view text) {
  std::vector<char32_t> points;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80         ? 1
                       : lead >> 5 == 0x6  ? 2
                       : lead >> 4 == 0xE  ? 3
                       : lead >> 3 == 0x1E ? 4
                                           : 0;
    if (length == 0 || i + static_cast<std::size_t>(length) > text.size()) {
      return std::nullopt;
    }
    char32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      if (next >> 6 != 0x2) {
        return std::nullopt;
      }
      point = point << 6 | (next & 0x3F);
    }
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < kLeast[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
      return std::nullopt;
    }
    points.push_back(point);
    i += static_cast<std::size_t>(length);
  }
  return points;
}

bool IsSpace(char32_t c) {
  return c == 0x20 || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

// A name shows on one line and in one column of a TSV listing.
bool IsControl(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// The run that comes later: by start, then by id.
bool Newer(const RunSummary& a, const RunSummary& b) {
  return a.start_ms != b.start_ms ? a.start_ms > b.start_ms : a.id > b.id;
}

}  // namespace

const std::vector<std::string>& Chemistries() {
  static const std::vector<std::string> names = {"LiPo", "LiHV", "Li-ion", "LiFePO4",
                                                 "NiMH", "NiCd", "Pb"};
  return names;
}

std::string PackProblem(const Pack& pack) {
  const std::optional<std::vector<char32_t>> name = CodePoints(pack.name);
  if (!name) {
    return "A pack name must be valid UTF-8";
  }
  bool blank = true;
  for (const char32_t c : *name) {
    if (IsControl(c)) {
      return "A pack name cannot hold tabs, line breaks or other control characters";
    }
    blank = blank && IsSpace(c);
  }
  if (blank) {
    return "A pack needs a name";
  }
  if (name->size() > static_cast<std::size_t>(kMaxPackName)) {
    return "A pack name has at most " + std::to_string(kMaxPackName) + " characters";
  }
  if (!CodePoints(pack.chemistry) || !CodePoints(pack.note)) {
    return "A pack's chemistry and note must be valid UTF-8";
  }
  if (pack.cells < 1 || pack.cells > kMaxPackCells) {
    return "A pack has 1 to " + std::to_string(kMaxPackCells) + " cells in series";
  }
  if (pack.rated_mah <= 0) {
    return "A pack's rated capacity must be above 0 mAh";
  }
  return "";
}

std::optional<int> ChargedCapacity(const RunSummary& run) {
  if (run.end_state != EndState::kFinished || (run.kind & kRunCharge) == 0) {
    return std::nullopt;
  }
  return run.charged_mah;
}

std::optional<int> DeliveredCapacity(const RunSummary& run) {
  if (run.end_state != EndState::kFinished || (run.kind & kRunDischarge) == 0) {
    return std::nullopt;
  }
  return run.discharged_mah;
}

bool PackFigures::Weak() const {
  const bool worn = health_percent && *health_percent < kWeakHealthPercent;
  const bool risen = ir_mohm && first_ir_mohm && *ir_mohm > *first_ir_mohm * kRisenIrFactor;
  return worn || risen;
}

std::vector<PackFigures> ComputeFigures(const std::vector<Pack>& packs,
                                        const std::vector<RunSummary>& runs) {
  struct Marks {
    const RunSummary* delivered = nullptr;  // the newest run of each figure
    const RunSummary* charged = nullptr;
    const RunSummary* newest_ir = nullptr;
    const RunSummary* oldest_ir = nullptr;
  };
  std::vector<PackFigures> figures(packs.size());
  std::vector<Marks> marks(packs.size());
  std::unordered_map<std::int64_t, std::size_t> index;
  for (std::size_t i = 0; i < packs.size(); ++i) {
    figures[i].pack = packs[i];
    index.emplace(packs[i].id, i);
  }
  const auto newest = [](const RunSummary*& mark, const RunSummary& run) {
    if (mark == nullptr || Newer(run, *mark)) {
      mark = &run;
    }
  };
  for (const RunSummary& run : runs) {
    const auto found = run.pack_id == 0 ? index.end() : index.find(run.pack_id);
    if (found == index.end()) {
      continue;
    }
    PackFigures& f = figures[found->second];
    Marks& m = marks[found->second];
    ++f.runs;
    f.last_used_ms = std::max(f.last_used_ms, run.end_ms);
    if (DeliveredCapacity(run)) {
      ++f.cycles;
      newest(m.delivered, run);
    }
    if (ChargedCapacity(run)) {
      newest(m.charged, run);
    }
    if (run.ir_mohm) {
      newest(m.newest_ir, run);
      if (m.oldest_ir == nullptr || Newer(*m.oldest_ir, run)) {
        m.oldest_ir = &run;
      }
    }
  }
  for (std::size_t i = 0; i < figures.size(); ++i) {
    PackFigures& f = figures[i];
    const Marks& m = marks[i];
    f.last_capacity_mah = m.delivered ? DeliveredCapacity(*m.delivered)
                          : m.charged ? ChargedCapacity(*m.charged)
                                      : std::nullopt;
    if (f.last_capacity_mah && f.pack.rated_mah > 0) {
      f.health_percent = *f.last_capacity_mah * 100.0 / f.pack.rated_mah;
    }
    if (m.newest_ir) {
      f.ir_mohm = m.newest_ir->ir_mohm;
      f.first_ir_mohm = m.oldest_ir->ir_mohm;
    }
  }
  return figures;
}

}  // namespace korvane::record
